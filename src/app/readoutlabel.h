#pragma once

#include <QLabel>
#include <QPixmap>
#include <cstdint>
#include <vector>

namespace veruziva {

// A readout of the front panel, right-aligned in a seven-segment face. Seven segments cannot
// draw a V (it comes out as a U), so a unit letter that ends the text is drawn in the
// fourteen-segment face of the same family when there is one; the digits keep their look and
// the text stays what the readout says.
// A steady reading repeats a few texts block after block; each is laid out and drawn once and
// then shown from a small cache of pictures, which spares the text engine on every block.
class ReadoutLabel : public QLabel {
    Q_OBJECT

public:
    ReadoutLabel(const QString& text, QWidget* parent);
    // The face the unit letter is drawn in; the label's own face when it has no companion.
    const QFont& unitFont() const { return m_unitFont; }

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct Picture {
        QString text;
        QRgb background = 0;
        QPixmap pixmap;
        std::uint64_t shown = 0;  // when it was last shown
    };
    static constexpr std::size_t CachedPictures = 8;

    const QPixmap& picture();
    void drawText(QPainter& painter) const;

    QFont m_unitFont;
    std::vector<Picture> m_pictures;
    std::uint64_t m_shown = 0;
};

}  // namespace veruziva
