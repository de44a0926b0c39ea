#pragma once

#include <QWidget>

namespace veruziva {

class Oscilloscope;

// The scope's paint box: shows the oscilloscope's picture, as the last block left it.
class OscilloscopeView : public QWidget {
    Q_OBJECT

public:
    OscilloscopeView(const Oscilloscope& scope, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const Oscilloscope& m_scope;
};

}  // namespace veruziva
