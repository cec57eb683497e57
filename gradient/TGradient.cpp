#include "gradient/TGradient.h"

#include <QEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <array>
#include <string_view>

namespace eitool {

TGradient::TGradient(QWidget* owner) : QWidget(owner) {
    // Every pixel is painted from the bitmap, so Qt never erases the background first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    m_bitmap.SetPixelFormat(pf32bit);
    m_bitmap.SetSize(100, 100);
    resize(100, 100);
}

TGradient::~TGradient() = default;

void TGradient::PublishProperties(PropertyFiler& filer) {
    TComponent::PublishProperties(filer);
    std::int32_t width = this->width();
    if (filer.Int("Width", width)) {
        resize(width, height());
    }
    std::int32_t height = this->height();
    if (filer.Int("Height", height)) {
        resize(this->width(), height);
    }
    // Colours are stored as the 32-bit number they are.
    const auto colour = [&filer](std::string_view name, TColor value, auto set) {
        auto stored = static_cast<std::int32_t>(value);
        if (filer.Int(name, stored)) {
            set(static_cast<TColor>(stored));
        }
    };
    colour("LeftTop", m_corners.leftTop, [this](TColor c) { SetLTColor(c); });
    colour("LeftBottom", m_corners.leftBottom, [this](TColor c) { SetLBColor(c); });
    colour("RightTop", m_corners.rightTop, [this](TColor c) { SetRTColor(c); });
    colour("RightBottom", m_corners.rightBottom, [this](TColor c) { SetRBColor(c); });
    static constexpr std::array<std::string_view, 6> kAligns = {"alNone", "alTop",   "alBottom",
                                                                "alLeft", "alRight", "alClient"};
    TAlign align = m_align;
    filer.Enumeration("Align", align, kAligns);
    if (align != m_align) {
        SetAlign(align);
    }
}

void TGradient::SetAlign(TAlign align) {
    m_align = align;
    QWidget* parent = parentWidget();
    if (m_watchedParent != parent) {
        if (m_watchedParent != nullptr) {
            m_watchedParent->removeEventFilter(this);
        }
        m_watchedParent = parent;
        if (parent != nullptr) {
            parent->installEventFilter(this);
        }
    }
    Realign();
}

void TGradient::Realign() {
    const QWidget* parent = parentWidget();
    if (parent == nullptr || m_align == alNone) {
        return;
    }
    const int w = parent->width();
    const int h = parent->height();
    switch (m_align) {
    case alTop:
        setGeometry(0, 0, w, height());
        break;
    case alBottom:
        setGeometry(0, h - height(), w, height());
        break;
    case alLeft:
        setGeometry(0, 0, width(), h);
        break;
    case alRight:
        setGeometry(w - width(), 0, width(), h);
        break;
    case alClient:
        setGeometry(0, 0, w, h);
        break;
    case alNone:
        break;
    }
}

bool TGradient::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_watchedParent && event->type() == QEvent::Resize) {
        Realign();
    }
    return QWidget::eventFilter(watched, event);
}

void TGradient::SetLTColor(TColor colour) {
    m_corners.leftTop = colour;
    BuildGradient();
}

void TGradient::SetLBColor(TColor colour) {
    m_corners.leftBottom = colour;
    BuildGradient();
}

void TGradient::SetRTColor(TColor colour) {
    m_corners.rightTop = colour;
    BuildGradient();
}

void TGradient::SetRBColor(TColor colour) {
    m_corners.rightBottom = colour;
    BuildGradient();
}

void TGradient::BuildGradient() {
    ComputeGradient(m_bitmap, m_corners, width(), height());
    ++m_builds;
    Paint();
}

void TGradient::Paint() {
    if (isVisible()) {
        repaint();
    }
}

void TGradient::Resize() {
    bool changed = false;
    if (m_bitmap.Width() != width()) {
        m_bitmap.SetWidth(width());
        changed = true;
    }
    if (m_bitmap.Height() != height()) {
        m_bitmap.SetHeight(height());
        changed = true;
    }
    if (changed) {
        BuildGradient();
    }
}

void TGradient::paintEvent(QPaintEvent* /*event*/) {
    if (m_bitmap.Width() == 0 || m_bitmap.Height() == 0) {
        return;
    }
    // NOTE: the bitmap's fourth byte is 0; Qt's RGB32 takes the pixels as opaque all the same.
    const QImage image(m_bitmap.ScanLine(0), m_bitmap.Width(), m_bitmap.Height(),
                       static_cast<qsizetype>(m_bitmap.RowBytes()), QImage::Format_RGB32);
    QPainter painter(this);
    painter.drawImage(0, 0, image);
}

void TGradient::resizeEvent(QResizeEvent* /*event*/) {
    // The inherited notification is not passed on.
    Resize();
}

void TGradient::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    emit MouseMove(event->buttons(), event->modifiers(), at.x(), at.y());
}

void TGradient::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    emit MouseDown(event->button(), event->modifiers(), at.x(), at.y());
}

void TGradient::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    emit MouseUp(event->button(), event->modifiers(), at.x(), at.y());
}

QColor TGradient::ToQColor(TColor colour) {
    return QColor(int(colour & 0xFF), int((colour >> 8) & 0xFF), int((colour >> 16) & 0xFF));
}

TColor TGradient::FromQColor(const QColor& colour) {
    return TColor(colour.red()) | (TColor(colour.green()) << 8) | (TColor(colour.blue()) << 16);
}

} // namespace eitool
