// The component framework under the meter processor, as a host meets it:
// initialize and terminate give back every reference and bus, only the peer
// disconnects; one stereo bus each way, main and active by default; single
// precision only.

#include <gtest/gtest.h>

#include "ProcessorRig.h"

namespace ProcessorTesting {
namespace {

uint32_t references(FUnknown* object) {
    object->AddRef();
    return object->Release();
}

TEST(ProcessorLifecycle, TerminateGivesBackTheContextThePeerAndTheBuses) {
    auto host = IPtr<HostContext>::adopt(new HostContext), other = IPtr<HostContext>::adopt(new HostContext);
    auto peer = IPtr<Peer>::adopt(new Peer), stranger = IPtr<Peer>::adopt(new Peer);
    auto meter = IPtr<VazEzaruZel>::adopt(new VazEzaruZel);
    const uint32_t hostReferences = references(host.get());
    for (int round = 0; round < 2; ++round) {
        ASSERT_EQ(meter->initialize(static_cast<IHostApp*>(host.get())), kResultOk);
        EXPECT_EQ(meter->setActive(1), kResultOk) << "activated before the host connects the controller";
        meter->setActive(0);
        EXPECT_EQ(meter->initialize(static_cast<IHostApp*>(other.get())), kResultFalse);
        EXPECT_EQ(meter->hostContext(), static_cast<FUnknown*>(static_cast<IHostApp*>(host.get())));
        EXPECT_EQ(meter->busCount(kAudio, kInput), 1) << "round " << round;
        EXPECT_EQ(meter->busCount(kAudio, kOutput), 1);
        BusDescription d{};
        ASSERT_EQ(meter->describeBus(kAudio, kInput, 0, d), kResultOk);
        EXPECT_EQ(std::u16string(d.name), u"Stereo In");
        EXPECT_EQ(d.channelCount, 2);
        EXPECT_EQ(d.busType, kMain);
        EXPECT_EQ(d.flags, BusDescription::kDefaultActive);
        EXPECT_EQ(meter->describeBus(kAudio, kOutput, 1, d), kResultFalse);
        ASSERT_EQ(meter->connect(peer.get()), kResultOk);
        EXPECT_EQ(meter->connect(stranger.get()), kResultFalse);
        EXPECT_EQ(meter->disconnect(stranger.get()), kResultFalse);
        EXPECT_EQ(meter->peerConnection(), peer.get());
        EXPECT_EQ(meter->terminate(), kResultOk);
        EXPECT_EQ(peer->disconnectedFrom.size(), static_cast<size_t>(round + 1)) << "the peer was not told";
        EXPECT_EQ(meter->peerConnection(), nullptr);
        EXPECT_EQ(references(host.get()), hostReferences);
        EXPECT_EQ(references(peer.get()), 1u);
        EXPECT_EQ(references(stranger.get()), 1u);
    }
    auto unhosted = IPtr<VazEzaruZel>::adopt(new VazEzaruZel); // its context is no host application
    ASSERT_EQ(unhosted->initialize(nullptr), kResultOk);
    ASSERT_EQ(unhosted->connect(peer.get()), kResultOk);
    EXPECT_EQ(unhosted->setActive(1), kResultOk);
    unhosted->setActive(0);
    unhosted->terminate();
    EXPECT_EQ(meter->supportsSampleSize(kSample32), kResultTrue);
    EXPECT_EQ(meter->supportsSampleSize(kSample64), kResultFalse);
}

} // namespace
} // namespace ProcessorTesting
