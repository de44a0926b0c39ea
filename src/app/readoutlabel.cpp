#include "app/readoutlabel.h"

#include <QEvent>
#include <QFontDatabase>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>
#include <algorithm>

namespace veruziva {
namespace {

// The fourteen-segment companion of a seven-segment family, when it is installed.
QString UnitFamily(const QString& family) {
    if (!family.startsWith(QLatin1String("DSEG7"))) {
        return {};
    }
    QString companion = family;
    companion.replace(0, 5, QStringLiteral("DSEG14"));
    return QFontDatabase::families().contains(companion) ? companion : QString();
}

// What shows through the label: its panel's solid colour, else nothing (transparent).
QRgb BackgroundBehind(const QWidget& label) {
    const QWidget* panel = label.parentWidget();
    if (panel == nullptr || !panel->autoFillBackground()) {
        return 0;
    }
    const QBrush& brush = panel->palette().brush(panel->backgroundRole());
    return brush.style() == Qt::SolidPattern ? brush.color().rgba() : 0;
}

}  // namespace

ReadoutLabel::ReadoutLabel(const QString& text, QWidget* parent)
    : QLabel(text, parent), m_unitFont(font()) {}

void ReadoutLabel::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_unitFont = font();
        if (const QString family = UnitFamily(font().family()); !family.isEmpty()) {
            m_unitFont.setFamily(family);
        }
    }
    switch (event->type()) {
        case QEvent::FontChange:
        case QEvent::PaletteChange:
        case QEvent::EnabledChange:
        case QEvent::StyleChange:
            m_pictures.clear();
            break;
        default:
            break;
    }
}

void ReadoutLabel::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    m_pictures.clear();
}

void ReadoutLabel::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    const QPixmap& shown = picture();
    painter.drawPixmap(0, 0, shown);
    // A picture on the panel's solid colour covers the label: the panel need not be drawn
    // beneath it first.
    setAttribute(Qt::WA_OpaquePaintEvent, !shown.hasAlphaChannel());
}

const QPixmap& ReadoutLabel::picture() {
    const QString shown = text();
    const QRgb background = BackgroundBehind(*this);
    ++m_shown;
    for (Picture& cached : m_pictures) {
        if (cached.background == background && cached.text == shown) {
            cached.shown = m_shown;
            return cached.pixmap;
        }
    }
    // Drawn over the panel's colour, the text's edges come out as they would on the panel.
    const qreal ratio = devicePixelRatioF();
    QPixmap pixmap(size() * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(QColor::fromRgba(background));
    {
        QPainter painter(&pixmap);
        painter.setFont(font());
        drawText(painter);
    }
    if (m_pictures.size() < CachedPictures) {
        m_pictures.emplace_back();
    }
    Picture& slot =
        *std::min_element(m_pictures.begin(), m_pictures.end(),
                          [](const Picture& a, const Picture& b) { return a.shown < b.shown; });
    slot.text = shown;
    slot.background = background;
    slot.pixmap = std::move(pixmap);
    slot.shown = m_shown;
    return slot.pixmap;
}

void ReadoutLabel::drawText(QPainter& painter) const {
    // A readout is its number, a unit letter or a blank, then one blank.
    QString number = text();
    if (number.endsWith(QLatin1Char(' '))) {
        number.chop(1);
    }
    const QChar unit = number.isEmpty() ? QChar() : number.back();
    if (m_unitFont.family() == font().family() ||
        (unit != QLatin1Char('V') && unit != QLatin1Char('A'))) {
        // As the label itself draws its plain text.
        const int flags = static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment()));
        style()->drawItemText(&painter, contentsRect(), flags, palette(), isEnabled(), text(),
                              foregroundRole());
        return;
    }
    // The whole text laid out as the label lays it out, in the digits' face, with the letter
    // left out; the fourteen-segment letter then takes its place.
    QTextLayout layout(text(), font());
    QTextOption option(Qt::AlignRight);
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    QTextCharFormat hidden;
    hidden.setForeground(Qt::transparent);
    const auto at = static_cast<int>(number.size() - 1);
    layout.setFormats({QTextLayout::FormatRange{at, 1, hidden}});
    const QRect area = contentsRect();
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(area.width());
    layout.endLayout();
    const qreal top = area.top() + (area.height() - line.height()) / 2;
    painter.setPen(palette().color(QPalette::WindowText));
    layout.draw(&painter, QPointF(area.left(), top));
    painter.setFont(m_unitFont);
    painter.drawText(QPointF(area.left() + line.cursorToX(at), top + line.ascent()), QString(unit));
}

}  // namespace veruziva
