#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace eitool::gui {

// Texts and paths are 8-bit strings in the models; on this system they are UTF-8, as Qt's local
// 8-bit encoding is.
inline QString ToQt(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

inline std::string FromQt(const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

inline std::vector<std::string> FromQt(const QStringList& texts) {
    std::vector<std::string> converted;
    converted.reserve(static_cast<std::size_t>(texts.size()));
    for (const QString& text : texts) {
        converted.push_back(FromQt(text));
    }
    return converted;
}

} // namespace eitool::gui
