#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace eitool {

class PropertyFiler;

// The base of the program's components (the text object, the TGA image, the gradient control).
// A component may have an owner; the owner destroys every component it owns when it goes, the
// last made first. A component that has an owner must be made with new; deleting it earlier
// takes it off its owner's list.
class TComponent {
public:
    explicit TComponent(TComponent* owner = nullptr);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    TComponent* Owner() const { return m_owner; }
    // The components this one owns, in the order they were made.
    const std::vector<TComponent*>& Components() const { return m_components; }

    // Hands every published property to the filer, in declared order. A derived component
    // calls its base first, then adds its own.
    virtual void PublishProperties(PropertyFiler& filer);

    std::string Name;
    std::int32_t Tag = 0;

private:
    TComponent* m_owner = nullptr;
    std::vector<TComponent*> m_components;
};

// Stores or loads published properties in a form: a text of "Name = Value" lines. Storing writes
// only the properties whose value differs from the declared storage default; loading sets the
// properties that the form names and leaves the others at the values the object was constructed
// with. Values: True or False; a decimal number; an enumerator's name; a text in single quotes
// (a quote doubled) with control characters as #N between the quoted runs.
class PropertyFiler {
public:
    void Bool(std::string_view name, bool& value, bool storedDefault = false);
    // Returns true when loading took a value from the form, so that a property written through a
    // setter can call it.
    bool Int(std::string_view name, std::int32_t& value, std::int32_t storedDefault = 0);
    void Text(std::string_view name, std::string& value);
    // An enumeration of one byte whose enumerators are named in order by names.
    template <typename Enum>
    void Enumeration(std::string_view name, Enum& value, std::span<const std::string_view> names) {
        int index = static_cast<int>(value);
        EnumIndex(name, index, names);
        value = static_cast<Enum>(index);
    }

private:
    friend std::string WriteProperties(TComponent& component);
    friend std::vector<std::string> ReadProperties(TComponent& component, std::string_view form);

    PropertyFiler() = default;
    void EnumIndex(std::string_view name, int& index, std::span<const std::string_view> names);
    void Store(std::string_view name, const std::string& value);
    // The form's value text for name (the last line that names it, letter case ignored), marked
    // as used; nullptr when the form does not name it or when storing.
    const std::string* Loaded(std::string_view name);
    void Complain(std::string_view name, const std::string& value, std::string_view expected);

    struct FormValue {
        std::string name;
        std::string value;
        bool used = false;
    };

    bool m_loading = false;
    std::string m_form;
    std::vector<FormValue> m_values;
    std::vector<std::string> m_problems;
};

// The form text of the component's published properties, one "Name = Value" line (ended by LF)
// for every value that differs from its storage default.
std::string WriteProperties(TComponent& component);

// Sets the properties that the form names on the component. Returns one message for each line
// that could not be used (not of the form "Name = Value", a property the component does not
// publish, a value it cannot take); the other lines are applied all the same.
std::vector<std::string> ReadProperties(TComponent& component, std::string_view form);

} // namespace eitool
