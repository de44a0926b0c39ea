#include "app/oscilloscopeview.h"

#include <QPaintEvent>
#include <QPainter>

#include "measurement/oscilloscope.h"

namespace veruziva {

OscilloscopeView::OscilloscopeView(Oscilloscope& scope, QWidget* parent)
    : QWidget(parent), m_scope(scope) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    followRatio();
}

bool OscilloscopeView::event(QEvent* event) {
    // Moved to a screen of another ratio: the picture is allocated anew, once.
    if (event->type() == QEvent::ScreenChangeInternal
#if QT_VERSION >= QT_VERSION_CHECK(6, 6, 0)
        || event->type() == QEvent::DevicePixelRatioChange
#endif
    ) {
        if (followRatio()) {
            update();
        }
    }
    return QWidget::event(event);
}

bool OscilloscopeView::followRatio() {
    const qreal ratio = devicePixelRatioF();
    if (ratio == m_scope.devicePixelRatio()) {
        return false;
    }
    m_scope.setDevicePixelRatio(ratio);
    return true;
}

void OscilloscopeView::paintEvent(QPaintEvent* event) {
    // A ratio that changed without a screen change: the whole picture is shown anew.
    if (followRatio()) {
        update();
    }
    QPainter painter(this);
    // A block's repaint copies only what it changed.
    m_scope.paint(painter, event->rect());
}

}  // namespace veruziva
