#pragma once

#include <QWidget>

namespace veruziva {

class Oscilloscope;

// The scope's paint box: shows the oscilloscope's picture, as the last block left it, drawn at
// the device pixel ratio of the screen the window is on.
class OscilloscopeView : public QWidget {
    Q_OBJECT

public:
    OscilloscopeView(Oscilloscope& scope, QWidget* parent);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    // The picture follows the screen's ratio: true when it changed.
    bool followRatio();

    Oscilloscope& m_scope;
};

}  // namespace veruziva
