#include "app/readoutlabel.h"

#include <QEvent>
#include <QFontDatabase>
#include <QPainter>
#include <QTextLayout>

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
}

void ReadoutLabel::paintEvent(QPaintEvent* event) {
    // A readout is its number, a unit letter or a blank, then one blank.
    QString number = text();
    QString tail;
    if (number.endsWith(QLatin1Char(' '))) {
        tail = QStringLiteral(" ");
        number.chop(1);
    }
    const QChar unit = number.isEmpty() ? QChar() : number.back();
    if (m_unitFont.family() == font().family() ||
        (unit != QLatin1Char('V') && unit != QLatin1Char('A'))) {
        QLabel::paintEvent(event);
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
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    layout.draw(&painter, QPointF(area.left(), top));
    painter.setFont(m_unitFont);
    painter.drawText(QPointF(area.left() + line.cursorToX(at), top + line.ascent()), QString(unit));
}

}  // namespace veruziva
