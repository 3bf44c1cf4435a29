// The component's buses as the host reads them, bus activation, the
// controller class it reports and the calls the framework leaves to subclasses.

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "TestProcessor.h"
#include "host/MemoryStream.h"

namespace ProcessorTesting {
namespace {

// A description filled with a pattern first, so untouched fields show.
BusDescription poisoned() {
    BusDescription d;
    std::memset(static_cast<void*>(&d), 0x5A, sizeof d);
    return d;
}

std::u16string nameOf(const BusDescription& d) {
    size_t n = 0;
    while (n < 128 && d.name[n] != 0) ++n;
    return std::u16string(d.name, n);
}

// One stereo main input, a mono auxiliary input and one stereo main output.
class ProcessorBuses : public ::testing::Test {
protected:
    void SetUp() override {
        proc_->addInput(u"Main In");
        proc_->addInput(u"Side Chain", 0x4, kAux, 0);
        proc_->addOutput(u"Main Out");
    }
    IPtr<TestProcessor> proc_ = makeProcessor();
};

TEST_F(ProcessorBuses, CountPerMediaTypeAndDirection) {
    EXPECT_EQ(proc_->busCount(kAudio, kInput), 2);
    EXPECT_EQ(proc_->busCount(kAudio, kOutput), 1);
    EXPECT_EQ(proc_->busCount(kEvent, kInput), 0);
    EXPECT_EQ(proc_->busCount(kEvent, kOutput), 0);
    EXPECT_EQ(proc_->busCount(2, kInput), 0);
    EXPECT_EQ(proc_->busCount(-1, kInput), 0);
    EXPECT_EQ(proc_->busCount(kAudio, 2), 0);
    EXPECT_EQ(proc_->busCount(kAudio, -1), 0);
}

TEST_F(ProcessorBuses, StereoMainOutputIsDescribedInFull) {
    BusDescription d = poisoned();
    ASSERT_EQ(proc_->describeBus(kAudio, kOutput, 0, d), kResultOk);
    EXPECT_EQ(d.mediaType, kAudio);
    EXPECT_EQ(d.direction, kOutput);
    EXPECT_EQ(d.channelCount, 2);
    EXPECT_EQ(nameOf(d), u"Main Out");
    EXPECT_EQ(d.busType, kMain);
    EXPECT_EQ(d.flags, BusDescription::kDefaultActive);
}

TEST_F(ProcessorBuses, AuxiliaryInputKeepsItsOwnTypeFlagsAndWidth) {
    BusDescription d = poisoned();
    ASSERT_EQ(proc_->describeBus(kAudio, kInput, 1, d), kResultOk);
    EXPECT_EQ(d.mediaType, kAudio);
    EXPECT_EQ(d.direction, kInput);
    EXPECT_EQ(d.channelCount, 1);
    EXPECT_EQ(nameOf(d), u"Side Chain");
    EXPECT_EQ(d.busType, kAux);
    EXPECT_EQ(d.flags, 0u);
}

TEST_F(ProcessorBuses, MissingBusIsNotDescribed) {
    BusDescription d = poisoned();
    EXPECT_EQ(proc_->describeBus(kAudio, kOutput, 1, d), kResultFalse) << "index 1 of one bus";
    EXPECT_EQ(proc_->describeBus(kAudio, kInput, 2, d), kResultFalse);
    EXPECT_EQ(proc_->describeBus(kAudio, kInput, -1, d), kResultFalse);
    EXPECT_EQ(proc_->describeBus(kEvent, kInput, 0, d), kResultFalse);
    EXPECT_EQ(proc_->describeBus(2, kInput, 0, d), kResultFalse);
    EXPECT_EQ(proc_->describeBus(kAudio, 2, 0, d), kResultFalse);
}

TEST_F(ProcessorBuses, AddedBusBelongsToItsList) {
    // The list holds the only reference; the bus answers its own class names.
    AudioBus* bus = proc_->addOutput(u"Extra");
    ASSERT_NE(bus, nullptr);
    EXPECT_EQ(bus->refCount(), 1);
    EXPECT_EQ(proc_->busAt(kAudio, kOutput, 1), bus);
    EXPECT_STREQ(bus->className(), "Zel::AudioBus");
    EXPECT_TRUE(bus->isTypeOf("Zel::Bus"));
    EXPECT_FALSE(bus->isActive());
}

TEST_F(ProcessorBuses, SetBusActiveSwitchesOnlyThatBus) {
    EXPECT_EQ(proc_->setBusActive(kAudio, kInput, 1, 1), kResultOk);
    EXPECT_TRUE(proc_->busAt(kAudio, kInput, 1)->isActive());
    EXPECT_FALSE(proc_->busAt(kAudio, kInput, 0)->isActive());
    EXPECT_FALSE(proc_->busAt(kAudio, kOutput, 0)->isActive());

    EXPECT_EQ(proc_->setBusActive(kAudio, kOutput, 0, 2), kResultOk) << "any non-zero state is on";
    EXPECT_TRUE(proc_->busAt(kAudio, kOutput, 0)->isActive());

    EXPECT_EQ(proc_->setBusActive(kAudio, kInput, 1, 0), kResultOk);
    EXPECT_FALSE(proc_->busAt(kAudio, kInput, 1)->isActive());
}

TEST_F(ProcessorBuses, SetBusActiveOfMissingBusIsRefused) {
    EXPECT_EQ(proc_->setBusActive(kAudio, kOutput, 1, 1), kResultFalse);
    EXPECT_EQ(proc_->setBusActive(kAudio, kInput, -1, 1), kResultFalse);
    EXPECT_EQ(proc_->setBusActive(kEvent, kInput, 0, 1), kResultFalse);
    EXPECT_EQ(proc_->setBusActive(2, kOutput, 0, 1), kResultFalse);
    for (int32_t i = 0; i < 2; ++i) EXPECT_FALSE(proc_->busAt(kAudio, kInput, i)->isActive());
    EXPECT_FALSE(proc_->busAt(kAudio, kOutput, 0)->isActive());
}

// ---- descriptions of single buses -------------------------------------------

TEST(ProcessorBusDescription, ChannelCountIsTheNumberOfSpeakers) {
    auto proc = makeProcessor();
    proc->addOutput(u"5.1", 0x3F);
    proc->addOutput(u"Sparse", (1ull << 0) | (1ull << 9) | (1ull << 63));
    proc->addOutput(u"None", kArrangementEmpty);
    BusDescription d = poisoned();
    ASSERT_EQ(proc->describeBus(kAudio, kOutput, 0, d), kResultOk);
    EXPECT_EQ(d.channelCount, 6);
    ASSERT_EQ(proc->describeBus(kAudio, kOutput, 1, d), kResultOk);
    EXPECT_EQ(d.channelCount, 3);
    ASSERT_EQ(proc->describeBus(kAudio, kOutput, 2, d), kResultOk);
    EXPECT_EQ(d.channelCount, 0);
}

TEST(ProcessorBusDescription, LongNameIsCutTo127UnitsAndTerminated) {
    auto proc = makeProcessor();
    std::u16string longName;
    for (int i = 0; i < 200; ++i) longName += static_cast<char16_t>(u'A' + i % 26);
    proc->addInput(longName.c_str());
    proc->addInput(std::u16string(127, u'x').c_str());

    BusDescription d = poisoned();
    ASSERT_EQ(proc->describeBus(kAudio, kInput, 0, d), kResultOk);
    EXPECT_EQ(d.name[127], u'\0');
    EXPECT_EQ(nameOf(d), longName.substr(0, 127));
    // The fields after the name are not overrun.
    EXPECT_EQ(d.busType, kMain);
    EXPECT_EQ(d.flags, BusDescription::kDefaultActive);

    d = poisoned();
    ASSERT_EQ(proc->describeBus(kAudio, kInput, 1, d), kResultOk);
    EXPECT_EQ(nameOf(d), std::u16string(127, u'x'));
    EXPECT_EQ(d.name[127], u'\0');
}

TEST(ProcessorBusDescription, NullNameIsDescribedAsEmpty) {
    auto proc = makeProcessor();
    proc->addOutput(nullptr);
    BusDescription d = poisoned();
    ASSERT_EQ(proc->describeBus(kAudio, kOutput, 0, d), kResultOk);
    EXPECT_EQ(d.name[0], u'\0');
}

// ---- controller class --------------------------------------------------------

TEST(ProcessorControllerClass, NoneSetIsReportedAsNone) {
    auto proc = makeProcessor();
    TUID reported{};
    EXPECT_EQ(proc->reportControllerClass(reported), kResultFalse);
}

TEST(ProcessorControllerClass, AllSixteenBytesAreReported) {
    const TUID full = tuidFromRegistry("{6D826A83-82B4-4A8D-B374-804FBE779C68}");
    TUID onlyFirst{};
    onlyFirst.bytes[0] = 1;
    TUID onlyLast{};
    onlyLast.bytes[15] = 0x80;
    // A single non-zero byte anywhere makes a class id.
    for (const TUID& id : {full, onlyFirst, onlyLast}) {
        SCOPED_TRACE(tuidToRegistry(id));
        auto proc = makeProcessor();
        proc->useController(id);
        TUID reported;
        std::memset(&reported, 0xEE, sizeof reported);
        EXPECT_EQ(proc->reportControllerClass(reported), kResultOk);
        EXPECT_EQ(std::memcmp(reported.bytes, id.bytes, 16), 0);
    }
}

// ---- what the framework leaves to subclasses ---------------------------------

TEST(ProcessorStubs, UnimplementedCallsSaySo) {
    auto proc = makeProcessor();
    proc->addInput(u"In");
    proc->addOutput(u"Out");
    EXPECT_EQ(proc->selectIoMode(0), kNotImplemented);
    RoutingInfo in{kAudio, 0, 0}, out{};
    EXPECT_EQ(proc->describeRouting(in, out), kNotImplemented);
    EXPECT_EQ(proc->setProcessingState(1), kNotImplemented);
    ProcessBlock block{};
    EXPECT_EQ(proc->process(block), kNotImplemented);

    // State calls neither read nor write the stream.
    auto stream = IPtr<NivoloHost::MemoryStream>::adopt(new NivoloHost::MemoryStream({1, 2, 3}));
    EXPECT_EQ(proc->setState(stream.get()), kNotImplemented);
    EXPECT_EQ(proc->getState(stream.get()), kNotImplemented);
    EXPECT_EQ(proc->setState(nullptr), kNotImplemented);
    EXPECT_EQ(proc->getState(nullptr), kNotImplemented);
    int64_t position = -1;
    ASSERT_EQ(stream->tell(&position), kResultOk);
    EXPECT_EQ(position, 0);
    EXPECT_EQ(stream->bytes().size(), 3u);
}

TEST(ProcessorStubs, NeutralDefaults) {
    auto proc = makeProcessor();
    EXPECT_EQ(proc->setActive(1), kResultOk);
    EXPECT_EQ(proc->setActive(0), kResultOk);
    EXPECT_EQ(proc->latencySamples(), 0u);
    EXPECT_EQ(proc->tailSamples(), 0u);
}

} // namespace
} // namespace ProcessorTesting
