#include "companions/evermark/pages_view.h"

#include <poppler-qt6.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cmath>

namespace quillbox::companions {

namespace {

constexpr double kGap = 12;  // pixels around and between pages
constexpr std::size_t kCacheSize = 6;
constexpr double kGrip = 6;  // pixels from an edge that grab it
constexpr double kMinZoom = 0.1;
constexpr double kMaxZoom = 8.0;

}  // namespace

PagesView::PagesView(Poppler::Document& document, QWidget* parent)
    : QAbstractScrollArea(parent), document_(document) {
    const int count = document_.numPages();
    sizes_.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        const std::unique_ptr<Poppler::Page> page(document_.page(i));
        sizes_.push_back(page ? page->pageSizeF() : QSizeF(595, 842));
    }
    viewport()->setMouseTracking(true);
    viewport()->setBackgroundRole(QPalette::Dark);
    setFocusPolicy(Qt::StrongFocus);
    Relayout();
}

PagesView::~PagesView() = default;

void PagesView::Relayout() {
    tops_.clear();
    double y = kGap;
    contentWidth_ = 0;
    for (const QSizeF& size : sizes_) {
        tops_.push_back(y);
        y += size.height() * zoom_ + kGap;
        contentWidth_ = std::max(contentWidth_, size.width() * zoom_ + 2 * kGap);
    }
    contentHeight_ = y;
    const QSize view = viewport()->size();
    horizontalScrollBar()->setRange(0, std::max(0, int(std::ceil(contentWidth_)) - view.width()));
    horizontalScrollBar()->setPageStep(view.width());
    verticalScrollBar()->setRange(0, std::max(0, int(std::ceil(contentHeight_)) - view.height()));
    verticalScrollBar()->setPageStep(view.height());
    verticalScrollBar()->setSingleStep(40);
    viewport()->update();
}

QRectF PagesView::PageRect(int page) const {
    const QSizeF size = sizes_[static_cast<std::size_t>(page)] * zoom_;
    const double width = std::max(contentWidth_, double(viewport()->width()));
    return {std::floor((width - size.width()) / 2), tops_[static_cast<std::size_t>(page)],
            size.width(), size.height()};
}

QPointF PagesView::ContentPoint(QPointF viewport) const {
    return viewport + QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

QPointF PagesView::ViewportPoint(int page, QPointF point) const {
    return PageRect(page).topLeft() + point * zoom_ -
           QPointF(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

int PagesView::PageAt(QPointF content) const {
    for (int i = 0; i < PageCount(); ++i) {
        if (PageRect(i).contains(content)) {
            return i;
        }
    }
    return -1;
}

QPointF PagesView::PagePoint(int page, QPointF content) const {
    const QRectF rect = PageRect(page);
    const QPointF point = (content - rect.topLeft()) / zoom_;
    const QSizeF size = sizes_[static_cast<std::size_t>(page)];
    return {std::clamp(point.x(), 0.0, size.width()), std::clamp(point.y(), 0.0, size.height())};
}

int PagesView::CurrentPage() const {
    const double middle = verticalScrollBar()->value() + viewport()->height() / 2.0;
    const auto after = std::upper_bound(tops_.begin(), tops_.end(), middle);
    return std::max(0, int(after - tops_.begin()) - 1);
}

void PagesView::ShowPage(int page) {
    if (page >= 0 && page < PageCount()) {
        verticalScrollBar()->setValue(int(tops_[static_cast<std::size_t>(page)] - kGap));
    }
}

void PagesView::SetZoom(double zoom) {
    const int page = CurrentPage();
    zoom_ = std::clamp(zoom, kMinZoom, kMaxZoom);
    Relayout();
    ShowPage(page);
}

void PagesView::ZoomToFit() {
    if (PageCount() == 0) {
        return;
    }
    const QSizeF size = sizes_[static_cast<std::size_t>(CurrentPage())];
    const QSizeF room = QSizeF(viewport()->size()) - QSizeF(2 * kGap, 2 * kGap);
    SetZoom(std::min(room.width() / size.width(), room.height() / size.height()));
}

const QImage& PagesView::Rendering(int page) {
    const auto found = std::find_if(cache_.begin(), cache_.end(), [&](const Rendered& r) {
        return r.page == page && r.zoom == zoom_;
    });
    if (found != cache_.end()) {
        cache_.splice(cache_.begin(), cache_, found);
        return cache_.front().image;
    }
    QImage image;
    if (const std::unique_ptr<Poppler::Page> pdfPage(document_.page(page)); pdfPage) {
        const double dpi = 72.0 * zoom_ * devicePixelRatioF();
        image = pdfPage->renderToImage(dpi, dpi);
        image.setDevicePixelRatio(devicePixelRatioF());
    }
    cache_.push_front({page, zoom_, std::move(image)});
    if (cache_.size() > kCacheSize) {
        cache_.pop_back();
    }
    return cache_.front().image;
}

void PagesView::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    const QPointF scroll(horizontalScrollBar()->value(), verticalScrollBar()->value());
    const QRectF visible(scroll, QSizeF(viewport()->size()));
    for (int i = 0; i < PageCount(); ++i) {
        const QRectF rect = PageRect(i);
        if (!rect.intersects(visible)) {
            continue;
        }
        const QRectF shown = rect.translated(-scroll);
        painter.fillRect(shown, Qt::white);
        const QImage& image = Rendering(i);
        if (!image.isNull()) {
            painter.drawImage(shown.topLeft(), image);
        }
        painter.setPen(QPen(Qt::black, 1));
        painter.drawRect(shown.adjusted(-0.5, -0.5, 0.5, 0.5));
        if (area_ && area_->page == i) {
            const QRectF marked(shown.topLeft() + area_->rect.topLeft() * zoom_,
                                area_->rect.size() * zoom_);
            painter.fillRect(marked, QColor(30, 110, 220, 50));
            painter.setPen(QPen(QColor(30, 110, 220), 2));
            painter.drawRect(marked);
            painter.setBrush(QColor(30, 110, 220));
            for (const QPointF corner :
                 {marked.topLeft(), marked.topRight(), marked.bottomLeft(), marked.bottomRight()}) {
                painter.drawRect(QRectF(corner - QPointF(3, 3), QSizeF(6, 6)));
            }
            painter.setBrush(Qt::NoBrush);
        }
    }
    if (const int current = CurrentPage(); current != lastCurrent_) {
        lastCurrent_ = current;
        emit CurrentPageChanged(current);
    }
}

void PagesView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    Relayout();
}

void PagesView::scrollContentsBy(int, int) {
    viewport()->update();
}

int PagesView::EdgesAt(QPointF content) const {
    if (!area_) {
        return 0;
    }
    const QRectF page = PageRect(area_->page);
    const QRectF rect(page.topLeft() + area_->rect.topLeft() * zoom_, area_->rect.size() * zoom_);
    if (!rect.adjusted(-kGrip, -kGrip, kGrip, kGrip).contains(content)) {
        return 0;
    }
    int edges = 0;
    edges |= std::abs(content.x() - rect.left()) <= kGrip ? kLeft : 0;
    edges |= std::abs(content.x() - rect.right()) <= kGrip ? kRight : 0;
    edges |= std::abs(content.y() - rect.top()) <= kGrip ? kTop : 0;
    edges |= std::abs(content.y() - rect.bottom()) <= kGrip ? kBottom : 0;
    return edges != 0 ? edges : (rect.contains(content) ? int(kMove) : 0);
}

void PagesView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        return;
    }
    const QPointF content = ContentPoint(event->position());
    beforeDrag_ = area_;
    dragEdges_ = EdgesAt(content);
    if (dragEdges_ != 0) {
        dragStart_ = PagePoint(area_->page, content);
        return;
    }
    const int page = PageAt(content);
    if (page < 0) {
        return;
    }
    // A new rectangle: its far corner follows the pointer.
    dragStart_ = PagePoint(page, content);
    area_ = PageArea{page, QRectF(dragStart_, QSizeF(0, 0))};
    dragEdges_ = kNew;
    viewport()->update();
}

void PagesView::mouseMoveEvent(QMouseEvent* event) {
    const QPointF content = ContentPoint(event->position());
    if (!(event->buttons() & Qt::LeftButton) || dragEdges_ == 0 || !area_) {
        const int edges = EdgesAt(content);
        const bool horizontal = edges & (kLeft | kRight), vertical = edges & (kTop | kBottom);
        viewport()->setCursor(
            edges == kMove                                             ? Qt::SizeAllCursor
            : (edges == (kLeft | kTop) || edges == (kRight | kBottom)) ? Qt::SizeFDiagCursor
            : (edges == (kRight | kTop) || edges == (kLeft | kBottom)) ? Qt::SizeBDiagCursor
            : horizontal                                               ? Qt::SizeHorCursor
            : vertical                                                 ? Qt::SizeVerCursor
                                                                       : Qt::CrossCursor);
        return;
    }
    const QSizeF size = sizes_[static_cast<std::size_t>(area_->page)];
    const QPointF point = PagePoint(area_->page, content);
    QRectF rect = area_->rect;
    if (dragEdges_ == kMove) {
        rect.translate(point - dragStart_);
        dragStart_ = point;
        // Moved as a whole, it stays whole on its page.
        rect.moveLeft(std::clamp(rect.left(), 0.0, size.width() - rect.width()));
        rect.moveTop(std::clamp(rect.top(), 0.0, size.height() - rect.height()));
    } else if (dragEdges_ == kNew) {
        rect = QRectF(dragStart_, point).normalized();
    } else {
        rect = beforeDrag_->rect;
        if (dragEdges_ & kLeft)
            rect.setLeft(point.x());
        if (dragEdges_ & kRight)
            rect.setRight(point.x());
        if (dragEdges_ & kTop)
            rect.setTop(point.y());
        if (dragEdges_ & kBottom)
            rect.setBottom(point.y());
        rect = rect.normalized();
    }
    area_->rect = rect;
    viewport()->update();
}

void PagesView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || dragEdges_ == 0) {
        return;
    }
    mouseMoveEvent(event);
    dragEdges_ = 0;
    // A click without a drag leaves what was there before.
    if (area_ && (area_->rect.width() < 1 || area_->rect.height() < 1)) {
        area_ = beforeDrag_;
    }
    viewport()->update();
    emit AreaChanged();
}

void PagesView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && dragEdges_ != 0) {
        // Escape during a drag undoes only the drag.
        dragEdges_ = 0;
        area_ = beforeDrag_;
        viewport()->update();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

}  // namespace quillbox::companions
