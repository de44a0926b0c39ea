#include "app/oscilloscopeview.h"

#include <QPaintEvent>
#include <QPainter>

#include "measurement/oscilloscope.h"

namespace veruziva {

OscilloscopeView::OscilloscopeView(const Oscilloscope& scope, QWidget* parent)
    : QWidget(parent), m_scope(scope) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void OscilloscopeView::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    // A block's repaint copies only what it changed.
    m_scope.paint(painter, event->rect());
}

}  // namespace veruziva
