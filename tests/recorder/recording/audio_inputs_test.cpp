#include "recorder/recording/audio_inputs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"

namespace qarv {
namespace {

struct Choice {
    int result;
    bool found;
    std::string name;
};

Choice Choose(const std::vector<std::string>& inputs) {
    Choice choice{0, true, "unset"};
    choice.result = ChooseMicrophone(inputs, choice.found, choice.name);
    return choice;
}

TEST(ChooseMicrophoneTest, PrefersTheInputNamedMicrophone) {
    const Choice choice =
        Choose({"立体声混音 (Realtek High Definition Audio)", "麦克风 (Realtek High Definition Audio)"});
    EXPECT_EQ(choice.result, 0);
    EXPECT_TRUE(choice.found);
    EXPECT_EQ(choice.name, "麦克风 (Realtek High Definition Audio)");
    // The word may stand anywhere in the name; the first such input wins.
    EXPECT_EQ(Choose({"Line In", "USB 麦克风 1", "麦克风 2"}).name, "USB 麦克风 1");
}

TEST(ChooseMicrophoneTest, OtherwiseTakesTheFirstInput) {
    const Choice choice = Choose({"Built-in Audio Analog Stereo", "Webcam C270 Analog Mono"});
    EXPECT_EQ(choice.result, 0);
    EXPECT_TRUE(choice.found);
    EXPECT_EQ(choice.name, "Built-in Audio Analog Stereo");
}

TEST(ChooseMicrophoneTest, NoInputIsNoMicrophone) {
    const Choice choice = Choose({});
    EXPECT_EQ(choice.result, -1);
    EXPECT_FALSE(choice.found);
    EXPECT_EQ(choice.name, "");
}

TEST(ChooseMicrophoneTest, LongNamesAreCutOnACharacterBoundary) {
    // 126 ASCII bytes and then a 3-byte character that does not fit into 127 bytes.
    const std::string longName = std::string(126, 'a') + "麦克风";
    const Choice choice = Choose({longName});
    EXPECT_EQ(choice.name, std::string(126, 'a'));
    EXPECT_TRUE(IsValidUtf8(choice.name));

    // 42 three-byte characters are 126 bytes; the 43rd would end at byte 129.
    std::string chinese;
    for (int i = 0; i < 45; ++i)
        chinese += "声";
    const Choice cut = Choose({chinese});
    EXPECT_EQ(cut.name.size(), 126u);
    EXPECT_TRUE(IsValidUtf8(cut.name));
}

TEST(ChooseMicrophoneTest, OnlyTheFirst127BytesAreSearched) {
    // The word starts past the part that is looked at, so the first input is chosen.
    const std::string late = std::string(125, 'x') + "麦克风";
    EXPECT_EQ(Choose({"Line In", late}).name, "Line In");
    // Ending exactly at byte 127 still counts.
    const std::string edge = std::string(118, 'x') + "麦克风";
    ASSERT_EQ(edge.size(), 127u);
    EXPECT_EQ(Choose({"Line In", edge}).name, edge);
}

}  // namespace
}  // namespace qarv
