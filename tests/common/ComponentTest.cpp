#include "common/Component.h"

#include <array>
#include <gtest/gtest.h>

namespace eitool {
namespace {

enum Shade : std::uint8_t { shLight, shMedium, shDark };
constexpr std::array<std::string_view, 3> kShadeNames = {"shLight", "shMedium", "shDark"};

// A component with one property of every kind, and a count of the components destroyed.
class TSample : public TComponent {
public:
    explicit TSample(TComponent* owner = nullptr, int* destroyed = nullptr)
        : TComponent(owner), m_destroyed(destroyed) {}
    ~TSample() override {
        if (m_destroyed != nullptr) {
            ++*m_destroyed;
        }
    }
    void PublishProperties(PropertyFiler& filer) override {
        TComponent::PublishProperties(filer);
        filer.Bool("Visible", Visible);
        filer.Int("Width", Width);
        filer.Enumeration("Shade", Shade, kShadeNames);
        filer.Text("Caption", Caption);
    }

    bool Visible = false;
    std::int32_t Width = 7;
    enum Shade Shade = shLight;
    std::string Caption;

private:
    int* m_destroyed;
};

TEST(ComponentOwnership, TheOwnerDestroysWhatItOwnsAndAnEarlyDeleteLeavesItsList) {
    int destroyed = 0;
    {
        TSample owner;
        auto* first = new TSample(&owner, &destroyed);
        auto* second = new TSample(&owner, &destroyed);
        new TSample(second, &destroyed); // owned by an owned one
        EXPECT_EQ(first->Owner(), &owner);
        ASSERT_EQ(owner.Components().size(), 2u);
        delete first;
        EXPECT_EQ(destroyed, 1);
        EXPECT_EQ(owner.Components(), std::vector<TComponent*>{second});
    }
    EXPECT_EQ(destroyed, 3);
}

TEST(ComponentStorage, OnlyValuesUnlikeTheStorageDefaultAreWritten) {
    TSample sample;
    EXPECT_EQ(WriteProperties(sample), "Width = 7\n");
    sample.Name = "Sample1";
    sample.Tag = -3;
    sample.Visible = true;
    sample.Width = 0;
    sample.Shade = shDark;
    sample.Caption = "it's\r\nhere";
    const std::string form = WriteProperties(sample);
    EXPECT_EQ(form, "Name = 'Sample1'\nTag = -3\nVisible = True\nShade = shDark\n"
                    "Caption = 'it''s'#13#10'here'\n");

    TSample loaded;
    EXPECT_TRUE(ReadProperties(loaded, form).empty());
    EXPECT_EQ(loaded.Name, "Sample1");
    EXPECT_EQ(loaded.Tag, -3);
    EXPECT_TRUE(loaded.Visible);
    EXPECT_EQ(loaded.Width, 7) << "0 is not stored, so the construction value stays";
    EXPECT_EQ(loaded.Shade, shDark);
    EXPECT_EQ(loaded.Caption, "it's\r\nhere");
}

TEST(ComponentStorage, LinesThatCannotBeUsedAreNamedAndTheOthersApplied) {
    TSample sample;
    const std::vector<std::string> problems =
        ReadProperties(sample, "  width =  12  \r\n\nno equals sign\nHeight = 3\nVisible = yes\n"
                               "Shade = shPurple\nTag = 99999999999\nCaption = 'open\n"
                               "shade = SHMEDIUM\n");
    EXPECT_EQ(sample.Width, 12);
    EXPECT_EQ(sample.Shade, shMedium);
    EXPECT_EQ(sample.Tag, 0);
    EXPECT_EQ(problems, (std::vector<std::string>{
                            "no equals sign: not a line \"Name = Value\"",
                            "Tag = 99999999999: the value must be a whole number of 32 bits",
                            "Visible = yes: the value must be True or False",
                            "Caption = 'open: the value must be a text in single quotes",
                            "Height: no such property",
                        }));
}

} // namespace
} // namespace eitool
