#include "app/oscilloscopeview.h"

#include <QPainter>

#include "measurement/oscilloscope.h"

namespace veruziva {

OscilloscopeView::OscilloscopeView(const Oscilloscope& scope, QWidget* parent)
    : QWidget(parent), m_scope(scope) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void OscilloscopeView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    m_scope.paint(painter);
}

}  // namespace veruziva
