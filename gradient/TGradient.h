#pragma once

#include "common/Component.h"
#include "gradient/Gradient.h"
#include "images/Bitmap.h"

#include <QColor>
#include <QWidget>
#include <cstdint>

namespace eitool {

// Where a control sits in its parent: where it was put (alNone), or along one side of the
// parent's area at its own height or width, or over the whole area (alClient).
enum TAlign : std::uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };

// A control that fills its whole area with the four-corner gradient of its colours. The gradient
// is computed into GradientBitmap when a corner colour is set (also to the colour it has) and
// when the size changes; painting only copies GradientBitmap. The background is never erased.
//
// Published properties (storage default 0): Width and Height (100 after construction), LeftTop,
// LeftBottom, RightTop and RightBottom (black), Align (alNone). Qt Designer sees the colours as
// QColor properties of the same names.
class TGradient : public QWidget, public TComponent {
    Q_OBJECT
    Q_PROPERTY(QColor LeftTop READ LeftTopColor WRITE SetLeftTopColor)
    Q_PROPERTY(QColor LeftBottom READ LeftBottomColor WRITE SetLeftBottomColor)
    Q_PROPERTY(QColor RightTop READ RightTopColor WRITE SetRightTopColor)
    Q_PROPERTY(QColor RightBottom READ RightBottomColor WRITE SetRightBottomColor)

public:
    // The owner becomes the parent. No gradient is computed yet.
    explicit TGradient(QWidget* owner = nullptr);
    ~TGradient() override;

    void PublishProperties(PropertyFiler& filer) override;

    TColor LeftTop() const { return m_corners.leftTop; }
    TColor LeftBottom() const { return m_corners.leftBottom; }
    TColor RightTop() const { return m_corners.rightTop; }
    TColor RightBottom() const { return m_corners.rightBottom; }
    // Each stores its corner's colour and rebuilds, every time.
    void SetLTColor(TColor colour);
    void SetLBColor(TColor colour);
    void SetRTColor(TColor colour);
    void SetRBColor(TColor colour);

    // Computes the gradient into GradientBitmap and paints it at once.
    void BuildGradient();
    // Draws GradientBitmap at once (when the control is visible).
    void Paint();
    // Brings GradientBitmap to the control's size; rebuilds only when that changed its size.
    void Resize();

    TAlign Align() const { return m_align; }
    // Places the control in its parent as align says, now and whenever the parent is resized.
    void SetAlign(TAlign align);

    const Bitmap& GradientBitmap() const { return m_bitmap; }
    // How often BuildGradient has run.
    int BuildCount() const { return m_builds; }

    QColor LeftTopColor() const { return ToQColor(m_corners.leftTop); }
    QColor LeftBottomColor() const { return ToQColor(m_corners.leftBottom); }
    QColor RightTopColor() const { return ToQColor(m_corners.rightTop); }
    QColor RightBottomColor() const { return ToQColor(m_corners.rightBottom); }
    void SetLeftTopColor(const QColor& colour) { SetLTColor(FromQColor(colour)); }
    void SetLeftBottomColor(const QColor& colour) { SetLBColor(FromQColor(colour)); }
    void SetRightTopColor(const QColor& colour) { SetRTColor(FromQColor(colour)); }
    void SetRightBottomColor(const QColor& colour) { SetRBColor(FromQColor(colour)); }

    static QColor ToQColor(TColor colour);
    static TColor FromQColor(const QColor& colour);

signals:
    // The mouse events of the control, at control coordinates.
    void MouseMove(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers, int x, int y);
    void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);
    void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers modifiers, int x, int y);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void Realign();

    Bitmap m_bitmap;
    GradientCorners m_corners;
    TAlign m_align = alNone;
    QWidget* m_watchedParent = nullptr;
    int m_builds = 0;
};

} // namespace eitool
