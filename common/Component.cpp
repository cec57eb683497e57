#include "common/Component.h"

#include "common/TextLines.h"

#include <algorithm>
#include <charconv>

namespace eitool {

namespace {

bool SameName(std::string_view a, std::string_view b) {
    return std::ranges::equal(a, b, [](char x, char y) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

bool ParseInt(std::string_view text, std::int32_t& value) {
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return !text.empty() && result.ec == std::errc() && result.ptr == end;
}

// A text as a form stores it: printable runs in single quotes, a quote doubled, every control
// character as #N outside the quotes; the empty text is ''.
std::string QuotedText(const std::string& text) {
    std::string out;
    bool quoted = false;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20) {
            if (quoted) {
                out += '\'';
                quoted = false;
            }
            out += '#' + std::to_string(byte);
            continue;
        }
        if (!quoted) {
            out += '\'';
            quoted = true;
        }
        out += c;
        if (c == '\'') {
            out += '\'';
        }
    }
    if (quoted || out.empty()) {
        out += quoted ? "'" : "''";
    }
    return out;
}

bool ParseQuotedText(std::string_view text, std::string& value) {
    std::string out;
    std::size_t i = 0;
    if (text.empty()) {
        return false;
    }
    while (i < text.size()) {
        if (text[i] == '#') {
            std::size_t end = i + 1;
            while (end < text.size() && text[end] >= '0' && text[end] <= '9') {
                ++end;
            }
            std::int32_t code = 0;
            if (!ParseInt(text.substr(i + 1, end - i - 1), code) || code > 255) {
                return false;
            }
            out += static_cast<char>(code);
            i = end;
        } else if (text[i] == '\'') {
            ++i;
            for (;;) {
                if (i >= text.size()) {
                    return false;
                }
                if (text[i] == '\'') {
                    if (i + 1 < text.size() && text[i + 1] == '\'') {
                        out += '\'';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                out += text[i++];
            }
        } else {
            return false;
        }
    }
    value = std::move(out);
    return true;
}

} // namespace

TComponent::TComponent(TComponent* owner) : m_owner(owner) {
    if (m_owner != nullptr) {
        m_owner->m_components.push_back(this);
    }
}

TComponent::~TComponent() {
    // Each owned component takes itself off the list as it goes.
    while (!m_components.empty()) {
        delete m_components.back();
    }
    if (m_owner != nullptr) {
        std::erase(m_owner->m_components, this);
    }
}

void TComponent::PublishProperties(PropertyFiler& filer) {
    filer.Text("Name", Name);
    filer.Int("Tag", Tag);
}

void PropertyFiler::Bool(std::string_view name, bool& value, bool storedDefault) {
    if (!m_loading) {
        if (value != storedDefault) {
            Store(name, value ? "True" : "False");
        }
        return;
    }
    if (const std::string* text = Loaded(name)) {
        if (SameName(*text, "True") || SameName(*text, "False")) {
            value = SameName(*text, "True");
        } else {
            Complain(name, *text, "True or False");
        }
    }
}

bool PropertyFiler::Int(std::string_view name, std::int32_t& value, std::int32_t storedDefault) {
    if (!m_loading) {
        if (value != storedDefault) {
            Store(name, std::to_string(value));
        }
        return false;
    }
    if (const std::string* text = Loaded(name)) {
        std::int32_t parsed = 0;
        if (ParseInt(*text, parsed)) {
            value = parsed;
            return true;
        }
        Complain(name, *text, "a whole number of 32 bits");
    }
    return false;
}

void PropertyFiler::Text(std::string_view name, std::string& value) {
    if (!m_loading) {
        if (!value.empty()) {
            Store(name, QuotedText(value));
        }
        return;
    }
    if (const std::string* text = Loaded(name)) {
        if (!ParseQuotedText(*text, value)) {
            Complain(name, *text, "a text in single quotes");
        }
    }
}

void PropertyFiler::EnumIndex(std::string_view name, int& index,
                              std::span<const std::string_view> names) {
    if (!m_loading) {
        if (index != 0) {
            // NOTE: a value outside the enumeration is stored as its number, which loading
            // refuses.
            const bool named = index > 0 && static_cast<std::size_t>(index) < names.size();
            Store(name, named ? std::string(names[static_cast<std::size_t>(index)])
                              : std::to_string(index));
        }
        return;
    }
    if (const std::string* text = Loaded(name)) {
        const auto found = std::ranges::find_if(
            names, [&](std::string_view enumerator) { return SameName(enumerator, *text); });
        if (found != names.end()) {
            index = static_cast<int>(found - names.begin());
            return;
        }
        std::string expected;
        for (const std::string_view enumerator : names) {
            expected += (expected.empty() ? "" : ", ") + std::string(enumerator);
        }
        Complain(name, *text, "one of " + expected);
    }
}

void PropertyFiler::Store(std::string_view name, const std::string& value) {
    m_form += std::string(name) + " = " + value + "\n";
}

const std::string* PropertyFiler::Loaded(std::string_view name) {
    const std::string* found = nullptr;
    for (FormValue& entry : m_values) {
        if (SameName(entry.name, name)) {
            entry.used = true;
            found = &entry.value;
        }
    }
    return found;
}

void PropertyFiler::Complain(std::string_view name, const std::string& value,
                             std::string_view expected) {
    m_problems.push_back(std::string(name) + " = " + value + ": the value must be " +
                         std::string(expected));
}

std::string WriteProperties(TComponent& component) {
    PropertyFiler filer;
    component.PublishProperties(filer);
    return filer.m_form;
}

std::vector<std::string> ReadProperties(TComponent& component, std::string_view form) {
    PropertyFiler filer;
    filer.m_loading = true;
    for (const std::string& line : SplitTextLines(form)) {
        const std::string_view text = Trimmed(line);
        if (text.empty()) {
            continue;
        }
        const std::size_t equals = text.find('=');
        const std::string_view name =
            equals == std::string_view::npos ? std::string_view() : Trimmed(text.substr(0, equals));
        if (name.empty()) {
            filer.m_problems.push_back(std::string(text) + ": not a line \"Name = Value\"");
            continue;
        }
        filer.m_values.push_back(
            {std::string(name), std::string(Trimmed(text.substr(equals + 1)))});
    }
    component.PublishProperties(filer);
    for (const PropertyFiler::FormValue& entry : filer.m_values) {
        if (!entry.used) {
            filer.m_problems.push_back(entry.name + ": no such property");
        }
    }
    return filer.m_problems;
}

} // namespace eitool
