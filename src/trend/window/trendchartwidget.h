#pragma once

#include <QWidget>

#include "trend/trendchart.h"

namespace veruziva {

// Shows the trend chart of a view and says where the mouse is over it.
class TrendChartWidget : public QWidget {
    Q_OBJECT

public:
    explicit TrendChartWidget(const TrendRecorder& recorder, QWidget* parent = nullptr);

    void setView(const TrendChartView& view);
    const TrendChartView& view() const { return m_view; }
    QRect plot() const;

signals:
    void hovered(int x);
    void left();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    const TrendRecorder& m_recorder;
    TrendChartView m_view;
};

}  // namespace veruziva
