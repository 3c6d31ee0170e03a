// The PDF's pages one below the other, scrolled, zoomed, and a rectangle the person drags
// on one of them. Only pages in view are rendered, and only the last few renderings are
// kept, so a long document costs no more memory than a short one.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>
#include <QRectF>
#include <list>
#include <memory>
#include <optional>
#include <vector>

namespace Poppler {
class Document;
}

namespace quillbox::companions {

// A rectangle on a page, in points from the page's top-left corner.
struct PageArea {
    int page = 0;  // from 0
    QRectF rect;
};

class PagesView final : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit PagesView(Poppler::Document& document, QWidget* parent = nullptr);
    ~PagesView() override;

    int PageCount() const { return static_cast<int>(sizes_.size()); }
    QSizeF PageSize(int page) const { return sizes_.at(static_cast<std::size_t>(page)); }
    // The page most of the window shows, from 0.
    int CurrentPage() const;
    void ShowPage(int page);

    double Zoom() const { return zoom_; }  // pixels per point
    void SetZoom(double zoom);
    // The whole current page fits the window.
    void ZoomToFit();

    const std::optional<PageArea>& Area() const { return area_; }
    // Where a point of a page (points from its top-left corner) is in the viewport.
    QPointF ViewportPoint(int page, QPointF point) const;

  signals:
    void AreaChanged();
    void CurrentPageChanged(int page);

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

  private:
    // Edges a drag changes: bits of kLeft, kTop, kRight, kBottom; all four move it; kNew
    // draws a new one from where the drag started.
    enum Edge { kLeft = 1, kTop = 2, kRight = 4, kBottom = 8, kMove = 15, kNew = 16 };

    void Relayout();
    QRectF PageRect(int page) const;  // in content pixels
    int PageAt(QPointF content) const;
    QPointF ContentPoint(QPointF viewport) const;
    QPointF PagePoint(int page, QPointF content) const;  // clamped to the page
    int EdgesAt(QPointF content) const;
    const QImage& Rendering(int page);

    Poppler::Document& document_;
    std::vector<QSizeF> sizes_;
    std::vector<double> tops_;
    double zoom_ = 1.0;
    double contentWidth_ = 0;
    double contentHeight_ = 0;
    struct Rendered {
        int page;
        double zoom;
        QImage image;
    };
    std::list<Rendered> cache_;
    std::optional<PageArea> area_;
    // The drag in progress.
    int dragEdges_ = 0;
    QPointF dragStart_;
    std::optional<PageArea> beforeDrag_;
    int lastCurrent_ = -1;
};

}  // namespace quillbox::companions
