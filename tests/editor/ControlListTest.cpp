// The controller's list of host controls: how each kind is set up, ordering
// by tag, the lookups and the order of release.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "EditorFakes.h"
#include "editor/ControlList.h"

namespace Zel {
namespace {

using Fakes::FakeControl;
using Fakes::FakeRoot;
using Kind = ControlList::Kind;

class ControlListTest : public ::testing::Test {
protected:
    FakeControl* fake(IControl* control) {
        for (auto& c : root->controls)
            if (static_cast<IControl*>(static_cast<IControlExtension*>(c.get())) == control) return c.get();
        return nullptr;
    }
    IControl* add(int32_t tag, const char* name = "c", ControlList::Setup setup = {}) {
        return list->createControl(tag, name, setup);
    }
    std::vector<int32_t> tagsInOrder() {
        std::vector<int32_t> tags;
        for (int32_t i = 0; i < list->count(); ++i) tags.push_back(fake(list->at(i))->tag);
        return tags;
    }

    IPtr<FakeRoot> root = IPtr<FakeRoot>::adopt(new FakeRoot);
    std::unique_ptr<ControlList> list = std::make_unique<ControlList>(root.get());
};

TEST_F(ControlListTest, IntegerControlIsConfiguredInOrder) {
    Fakes::FakeListener listener;
    list->setListener(&listener);
    ControlList::Setup setup{Kind::Integer, 0.0, 3.9, 2.7, -1, true, true, nullptr};
    FakeControl* control = fake(add(46, "truePeakOver", setup));
    ASSERT_NE(control, nullptr);
    const std::vector<std::string> expected = {"setIntMin 0",  "setIntMax 3",  "setIntValue 2 0", "setDefaultValue 2",
                                               "setFlag 1 1", "setFlag 16 1", "setListener 46"};
    EXPECT_EQ(control->calls, expected);
    EXPECT_EQ(control->listener, &listener);
}

TEST_F(ControlListTest, ContinuousControlGetsPrecisionOnlyWhenNotNegative) {
    ControlList::Setup setup{Kind::Continuous, -1.0, 1.0, 0.25, -1, false, false, nullptr};
    FakeControl* without = fake(add(1, "a", setup));
    setup.precision = 2;
    FakeControl* with = fake(add(2, "b", setup));
    const std::vector<std::string> expected = {"setRealMin -1",     "setRealMax 1", "setRealValue 0.25 0",
                                               "setDefaultValue 0.25", "setFlag 1 0", "setFlag 16 0", "setTag 1"};
    EXPECT_EQ(without->calls, expected);
    EXPECT_NE(std::find(with->calls.begin(), with->calls.end(), "setPrecision 2"), with->calls.end());
}

TEST_F(ControlListTest, SwitchIsOnFromHalfAndHasNoWrapAroundFlag) {
    ControlList::Setup setup{Kind::Switch, 0.0, 1.0, 0.5, -1, true, true, nullptr};
    FakeControl* on = fake(add(4, "on", setup));
    setup.initialValue = 0.49;
    FakeControl* off = fake(add(5, "off", setup));
    EXPECT_EQ(on->calls, (std::vector<std::string>{"setIntValue 1 0", "setDefaultValue 1", "setFlag 1 1", "setTag 4"}));
    EXPECT_EQ(off->calls[0], "setIntValue 0 0");
}

TEST_F(ControlListTest, TextControlStartsWithItsText) {
    ControlList::Setup setup{Kind::Text, 0.0, 1.0, 0.0, -1, false, false, "00:00"};
    FakeControl* text = fake(add(53, "time", setup));
    EXPECT_EQ(text->calls, (std::vector<std::string>{"setText '00:00'", "setFlag 1 0", "setTag 53"}));
}

TEST_F(ControlListTest, HostRefusingAControlLeavesTheListUnchanged) {
    add(1);
    root->refuseControls = true;
    EXPECT_EQ(add(2), nullptr);
    EXPECT_EQ(list->count(), 1);
}

TEST_F(ControlListTest, InsertionKeepsTagOrderWithNewControlsBeforeEqualTags) {
    add(5, "five");
    add(1, "one");
    add(3, "three-first");
    add(3, "three-second");
    add(9, "nine");
    add(0, "zero");
    EXPECT_EQ(tagsInOrder(), (std::vector<int32_t>{0, 1, 3, 3, 5, 9}));
    EXPECT_STREQ(list->nameAt(2), "three-second");
    EXPECT_STREQ(list->nameAt(3), "three-first");
}

class SixteenControls : public ControlListTest {
protected:
    void SetUp() override {
        for (int32_t tag : kTags) add(tag, ("tag" + std::to_string(tag)).c_str());
        root->tagReads.clear();
    }
    static constexpr int32_t kTags[16] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 10, 11, 46, 47, 48, 53, 54};
};

TEST_F(SixteenControls, FindsTag54ByNarrowing) {
    IControl* found = list->findByTag(54);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(fake(found)->tag, 54);
    // 54 lies beyond the last index, so the first guess is 15 / 2 = 7 (tag 8);
    // the jumps by the tag difference overshoot and halve the rest: 11 (46),
    // 13 (48), 14 (53); a step of one lands on 15 (54).
    EXPECT_EQ(root->tagReads, (std::vector<int32_t>{8, 46, 48, 53, 54}));
    root->tagReads.clear();
    ASSERT_NE(list->findByTag(3), nullptr);
    EXPECT_EQ(root->tagReads, (std::vector<int32_t>{3})) << "the first guess hits a dense tag";
}

TEST_F(SixteenControls, MissingTagFallsBackToAFullScanAndFindsNothing) {
    EXPECT_EQ(list->findByTag(6), nullptr);
    // Narrowing reads index 6 (tag 7) and index 5 (tag 5); then every entry.
    std::vector<int32_t> expected = {7, 5};
    expected.insert(expected.end(), std::begin(kTags), std::end(kTags));
    EXPECT_EQ(root->tagReads, expected);
    EXPECT_EQ(list->findByTag(-123), nullptr);
    EXPECT_EQ(list->findByTag(1000), nullptr);
}

TEST_F(SixteenControls, FindByNameIsCaseSensitiveAndIndicesOutsideGiveNothing) {
    IControl* found = list->findByName("tag47");
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(fake(found)->tag, 47);
    EXPECT_EQ(list->findByName("TAG47"), nullptr);
    EXPECT_EQ(list->findByName("Tag47"), nullptr);
    EXPECT_EQ(list->findByName(nullptr), nullptr);
    EXPECT_EQ(fake(list->at(15))->tag, 54);
    EXPECT_EQ(list->at(16), nullptr);
    EXPECT_EQ(list->at(-1), nullptr);
}

TEST_F(SixteenControls, DestructionReleasesLastToFirstThenTheRoot) {
    const int32_t rootRefs = root->refs();
    root->releaseLog.clear();
    list.reset();
    ASSERT_EQ(root->releaseLog.size(), 16u);
    for (size_t i = 0; i < 16; ++i) EXPECT_EQ(root->releaseLog[i], "control " + std::to_string(kTags[15 - i]));
    EXPECT_EQ(root->refs(), rootRefs - 1);
    for (auto& control : root->controls) EXPECT_EQ(control->refs(), 1);
}

} // namespace
} // namespace Zel
