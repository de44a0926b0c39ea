#pragma once

#include <QLabel>

namespace veruziva {

// A readout of the front panel, right-aligned in a seven-segment face. Seven segments cannot
// draw a V (it comes out as a U), so a unit letter that ends the text is drawn in the
// fourteen-segment face of the same family when there is one; the digits keep their look and
// the text stays what the readout says.
class ReadoutLabel : public QLabel {
    Q_OBJECT

public:
    ReadoutLabel(const QString& text, QWidget* parent);
    // The face the unit letter is drawn in; the label's own face when it has no companion.
    const QFont& unitFont() const { return m_unitFont; }

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QFont m_unitFont;
};

}  // namespace veruziva
