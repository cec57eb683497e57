// The Qt control, on the offscreen platform.
#include "gradient/TGradient.h"

#include <QApplication>
#include <QImage>
#include <QPluginLoader>
#include <QtUiPlugin/QDesignerCustomWidgetInterface>
#include <cstdlib>
#include <gtest/gtest.h>
#include <memory>

namespace eitool {
namespace {

void NeedApplication() {
    static int argc = 1;
    static char name[] = "eitool_tests";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        static QApplication application(argc, argv);
    }
}

TEST(TGradient, StartsBlackAtOneHundredSquareAndStoresItsProperties) {
    NeedApplication();
    TGradient gradient;
    EXPECT_EQ(gradient.width(), 100);
    EXPECT_EQ(gradient.GradientBitmap().Width(), 100);
    EXPECT_EQ(gradient.GradientBitmap().Height(), 100);
    EXPECT_EQ(gradient.GradientBitmap().Format(), pf32bit);
    EXPECT_EQ(gradient.BuildCount(), 0);
    EXPECT_EQ(WriteProperties(gradient), "Width = 100\nHeight = 100\n");

    gradient.SetLTColor(0x0000FF);
    gradient.SetRBColor(0x80FFFFFF);
    EXPECT_EQ(gradient.LeftTopColor(), QColor(255, 0, 0));
    const std::string form = WriteProperties(gradient);
    EXPECT_EQ(form, "Width = 100\nHeight = 100\nLeftTop = 255\nRightBottom = -2130706433\n");
    TGradient loaded;
    EXPECT_TRUE(ReadProperties(loaded, "Width = 40\n" + form.substr(12)).empty());
    EXPECT_EQ(loaded.RightBottom(), 0x80FFFFFFu);
    EXPECT_EQ(loaded.GradientBitmap().PixelValue(0, 0), 0xFF0000u);
    loaded.setProperty("RightTop", QColor(0, 0, 255));
    EXPECT_EQ(loaded.RightTop(), 0xFF0000u);
}

TEST(TGradient, RebuildsOnEveryColourAndOnlyOnSizeChanges) {
    NeedApplication();
    TGradient gradient;
    gradient.show();
    gradient.SetLTColor(0);
    gradient.SetLTColor(0);
    EXPECT_EQ(gradient.BuildCount(), 2);
    gradient.resize(100, 100);
    gradient.Resize();
    EXPECT_EQ(gradient.BuildCount(), 2);
    gradient.resize(30, 1);
    EXPECT_EQ(gradient.BuildCount(), 3);
    EXPECT_EQ(gradient.GradientBitmap().Width(), 30);
    EXPECT_EQ(gradient.GradientBitmap().Height(), 1);
    gradient.resize(30, 1);
    EXPECT_EQ(gradient.BuildCount(), 3);
}

// Align is stored by its name and keeps the control along its side as the parent is resized.
TEST(TGradient, AlignPlacesTheControlInItsParent) {
    NeedApplication();
    QWidget parent;
    parent.resize(300, 200);
    auto* gradient = new TGradient(&parent);
    gradient->resize(50, 40);
    parent.show();
    EXPECT_TRUE(ReadProperties(*gradient, "Align = alBottom\n").empty());
    EXPECT_EQ(gradient->Align(), alBottom);
    EXPECT_EQ(WriteProperties(*gradient), "Width = 300\nHeight = 40\nAlign = alBottom\n");
    EXPECT_EQ(gradient->geometry(), QRect(0, 160, 300, 40));
    parent.resize(400, 100);
    EXPECT_EQ(gradient->geometry(), QRect(0, 60, 400, 40));
    EXPECT_EQ(gradient->GradientBitmap().Width(), 400);
    gradient->SetAlign(alClient);
    EXPECT_EQ(gradient->geometry(), QRect(0, 0, 400, 100));
}

TEST(TGradient, PaintsItsBitmap) {
    NeedApplication();
    TGradient gradient;
    gradient.SetRTColor(0xFFFFFF);
    gradient.SetRBColor(0xFFFFFF);
    const QImage painted = gradient.grab().toImage();
    ASSERT_EQ(painted.width(), 100);
    EXPECT_EQ(painted.pixel(0, 50), qRgb(0, 0, 0));
    EXPECT_EQ(painted.pixel(20, 0), qRgb(50, 50, 50));
    EXPECT_EQ(painted.pixel(99, 99), qRgb(252, 252, 252));
}

#ifdef EITOOL_DESIGNER_PLUGIN
TEST(TGradient, QtDesignerPluginPlacesTheControl) {
    NeedApplication();
    QPluginLoader loader(QStringLiteral(EITOOL_DESIGNER_PLUGIN));
    auto* plugin = qobject_cast<QDesignerCustomWidgetInterface*>(loader.instance());
    ASSERT_NE(plugin, nullptr) << loader.errorString().toStdString();
    EXPECT_EQ(plugin->name(), QStringLiteral("eitool::TGradient"));
    EXPECT_TRUE(plugin->domXml().contains(QStringLiteral("class=\"eitool::TGradient\"")));
    const std::unique_ptr<QWidget> widget(plugin->createWidget(nullptr));
    EXPECT_STREQ(widget->metaObject()->className(), "eitool::TGradient");
    EXPECT_EQ(widget->property("LeftTop").value<QColor>(), QColor(0, 0, 0));
}
#endif

} // namespace
} // namespace eitool
