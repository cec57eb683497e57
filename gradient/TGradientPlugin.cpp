#include "gradient/TGradientPlugin.h"

#include "gradient/TGradient.h"

#include <QIcon>

namespace eitool {

TGradientPlugin::TGradientPlugin(QObject* parent) : QObject(parent) {}

QString TGradientPlugin::name() const {
    return QStringLiteral("eitool::TGradient");
}

QString TGradientPlugin::group() const {
    return QStringLiteral("eitool");
}

QString TGradientPlugin::toolTip() const {
    return QStringLiteral("Four-corner colour gradient");
}

QString TGradientPlugin::whatsThis() const {
    return QStringLiteral("Fills its area with a gradient spanned by four corner colours.");
}

QString TGradientPlugin::includeFile() const {
    return QStringLiteral("gradient/TGradient.h");
}

QIcon TGradientPlugin::icon() const {
    return {};
}

bool TGradientPlugin::isContainer() const {
    return false;
}

QWidget* TGradientPlugin::createWidget(QWidget* parent) {
    return new TGradient(parent);
}

bool TGradientPlugin::isInitialized() const {
    return m_initialized;
}

void TGradientPlugin::initialize(QDesignerFormEditorInterface* /*core*/) {
    m_initialized = true;
}

QString TGradientPlugin::domXml() const {
    return QStringLiteral(R"(<ui language="c++">
 <widget class="eitool::TGradient" name="Gradient">
  <property name="geometry">
   <rect><x>0</x><y>0</y><width>100</width><height>100</height></rect>
  </property>
 </widget>
</ui>
)");
}

} // namespace eitool
