#include "platform/ui/qt/qt_window_look.h"

#include <QEvent>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QTimer>
#include <QWidget>

namespace quillbox::ui {

namespace {

// Raises and activates the window once it is mapped: a new window of a program that has
// no focus yet (the browser has it) would otherwise open behind or without the focus.
class FrontOnShow final : public QObject {
  public:
    using QObject::QObject;

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show) {
            QPointer<QWidget> window(qobject_cast<QWidget*>(watched));
            QTimer::singleShot(0, this, [window] {
                if (window && window->isVisible()) {
                    window->raise();
                    window->activateWindow();
                }
            });
        }
        return false;
    }
};

}  // namespace

QPixmap LogoPicture(int size, qreal pixelRatio) {
    const qreal s = size;
    QPixmap pixmap(QSize(size, size) * pixelRatio);
    pixmap.setDevicePixelRatio(pixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);

    QLinearGradient box(0, 0, 0, s);
    box.setColorAt(0, QColor(0x3d, 0x74, 0xc8));
    box.setColorAt(1, QColor(0x1d, 0x42, 0x7e));
    painter.setPen(Qt::NoPen);
    painter.setBrush(box);
    painter.drawRoundedRect(QRectF(1, 1, s - 2, s - 2), s / 6, s / 6);

    // The feather: a leaf from the nib at the lower left to the tip at the upper right.
    QPainterPath feather;
    feather.moveTo(0.24 * s, 0.78 * s);
    feather.cubicTo(0.30 * s, 0.45 * s, 0.55 * s, 0.18 * s, 0.84 * s, 0.12 * s);
    feather.cubicTo(0.78 * s, 0.40 * s, 0.56 * s, 0.62 * s, 0.30 * s, 0.74 * s);
    feather.closeSubpath();
    painter.setBrush(Qt::white);
    painter.drawPath(feather);
    painter.setPen(QPen(QColor(0x9d, 0xb8, 0xe3), 0.04 * s, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(0.27 * s, 0.75 * s), QPointF(0.76 * s, 0.22 * s));
    // The nib and the stroke it writes.
    painter.setPen(QPen(Qt::white, 0.05 * s, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(0.24 * s, 0.78 * s), QPointF(0.18 * s, 0.86 * s));
    QPainterPath stroke;
    stroke.moveTo(0.38 * s, 0.84 * s);
    stroke.cubicTo(0.50 * s, 0.74 * s, 0.56 * s, 0.92 * s, 0.66 * s, 0.82 * s);
    stroke.cubicTo(0.72 * s, 0.77 * s, 0.76 * s, 0.86 * s, 0.84 * s, 0.82 * s);
    painter.setPen(QPen(QColor(0xf2, 0xc9, 0x4c), 0.045 * s, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(stroke);
    return pixmap;
}

QIcon LogoIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48}) {
        icon.addPixmap(LogoPicture(size));
    }
    return icon;
}

void SetUpWindow(QWidget& window, bool modal) {
    window.setWindowIcon(LogoIcon());
    if (modal) {
        window.setWindowModality(window.parentWidget() != nullptr ? Qt::WindowModal
                                                                  : Qt::ApplicationModal);
    }
    // Every plug-in window shares the layer of the first one, above the browser; a child
    // in a lower layer than its parent would open behind it.
    window.setWindowFlags(window.windowFlags() | Qt::WindowStaysOnTopHint);
    // Closing the last window must not end an event loop the host application runs.
    window.setAttribute(Qt::WA_QuitOnClose, false);
    window.installEventFilter(new FrontOnShow(&window));
}

}  // namespace quillbox::ui
