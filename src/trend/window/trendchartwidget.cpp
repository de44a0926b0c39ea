#include "trend/window/trendchartwidget.h"

#include <QMouseEvent>
#include <QPainter>

namespace veruziva {

TrendChartWidget::TrendChartWidget(const TrendRecorder& recorder, QWidget* parent)
    : QWidget(parent), m_recorder(recorder) {
    setObjectName(QStringLiteral("TrendChart"));
    setMouseTracking(true);
    setMinimumSize(400, 200);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void TrendChartWidget::setView(const TrendChartView& view) {
    m_view = view;
    update();
}

QRect TrendChartWidget::plot() const {
    return TrendChartGeometry(rect(), fontMetrics(), TrendSeparateScales(m_recorder, m_view))
        .plot();
}

void TrendChartWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    PaintTrendChart(painter, rect(), m_recorder, m_view);
}

void TrendChartWidget::mouseMoveEvent(QMouseEvent* event) {
    emit hovered(event->position().toPoint().x());
}

void TrendChartWidget::leaveEvent(QEvent*) {
    emit left();
}

}  // namespace veruziva
