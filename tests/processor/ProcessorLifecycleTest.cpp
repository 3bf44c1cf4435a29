// initialize/terminate and the peer connection: which calls are refused, and
// that every reference taken on the host context, the peer and the buses is
// given back.

#include <gtest/gtest.h>

#include "TestProcessor.h"

namespace ProcessorTesting {
namespace {

// ---- initialize / terminate --------------------------------------------------

TEST(ProcessorLifecycle, InitializeHoldsTheContextUntilTerminate) {
    auto host = makeHost();
    const uint32_t before = references(host.get());
    auto proc = makeProcessor();

    EXPECT_EQ(proc->initialize(host.get()), kResultOk);
    EXPECT_EQ(proc->hostContext(), static_cast<FUnknown*>(host.get()));
    EXPECT_EQ(references(host.get()), before + 1);

    EXPECT_EQ(proc->terminate(), kResultOk);
    EXPECT_EQ(proc->hostContext(), nullptr);
    EXPECT_EQ(references(host.get()), before);
}

TEST(ProcessorLifecycle, SecondInitializeIsRefusedAndKeepsTheFirstContext) {
    auto first = makeHost();
    auto second = makeHost();
    const uint32_t secondBefore = references(second.get());
    auto proc = makeProcessor();

    ASSERT_EQ(proc->initialize(first.get()), kResultOk);
    EXPECT_EQ(proc->initialize(second.get()), kResultFalse);
    EXPECT_EQ(proc->hostContext(), static_cast<FUnknown*>(first.get()));
    EXPECT_EQ(references(second.get()), secondBefore) << "the refused context was kept";
    EXPECT_EQ(proc->terminate(), kResultOk);
}

TEST(ProcessorLifecycle, InitializeAgainAfterTerminate) {
    auto first = makeHost();
    auto second = makeHost();
    auto proc = makeProcessor();
    ASSERT_EQ(proc->initialize(first.get()), kResultOk);
    ASSERT_EQ(proc->terminate(), kResultOk);
    EXPECT_EQ(proc->initialize(second.get()), kResultOk);
    EXPECT_EQ(proc->hostContext(), static_cast<FUnknown*>(second.get()));
    EXPECT_EQ(proc->terminate(), kResultOk);
}

TEST(ProcessorLifecycle, NullContextIsAccepted) {
    auto proc = makeProcessor();
    EXPECT_EQ(proc->initialize(nullptr), kResultOk);
    EXPECT_EQ(proc->hostContext(), nullptr);
    EXPECT_EQ(proc->terminate(), kResultOk);
}

TEST(ProcessorLifecycle, TerminateWithoutInitializeIsHarmless) {
    auto proc = makeProcessor();
    EXPECT_EQ(proc->terminate(), kResultOk);
    EXPECT_EQ(proc->terminate(), kResultOk);
    EXPECT_EQ(proc->hostContext(), nullptr);
}

TEST(ProcessorLifecycle, TerminateRemovesEveryBusAndReleasesIt) {
    auto proc = makeProcessor();
    IPtr<AudioBus> input = proc->addInput(u"In");
    IPtr<AudioBus> side = proc->addInput(u"Side", kArrangementStereo, kAux, 0);
    IPtr<AudioBus> output = proc->addOutput(u"Out");
    ASSERT_EQ(proc->busCount(kAudio, kInput), 2);
    ASSERT_EQ(proc->busCount(kAudio, kOutput), 1);
    EXPECT_EQ(input->refCount(), 2);

    ASSERT_EQ(proc->terminate(), kResultOk);
    for (int32_t media : {kAudio, kEvent})
        for (int32_t direction : {kInput, kOutput}) EXPECT_EQ(proc->busCount(media, direction), 0);
    // Only the test's own references are left.
    EXPECT_EQ(input->refCount(), 1);
    EXPECT_EQ(side->refCount(), 1);
    EXPECT_EQ(output->refCount(), 1);
    BusDescription description{};
    EXPECT_EQ(proc->describeBus(kAudio, kInput, 0, description), kResultFalse);
}

TEST(ProcessorLifecycle, DestroyingAnInitializedProcessorReleasesContextAndBuses) {
    auto host = makeHost();
    const uint32_t before = references(host.get());
    int destroyed = 0;
    auto proc = makeProcessor(&destroyed);
    IPtr<AudioBus> bus = proc->addOutput(u"Out");
    ASSERT_EQ(proc->initialize(host.get()), kResultOk);

    proc.reset();
    EXPECT_EQ(destroyed, 1);
    EXPECT_EQ(references(host.get()), before);
    EXPECT_EQ(bus->refCount(), 1);
}

// ---- connect / disconnect ----------------------------------------------------

TEST(ProcessorConnection, ConnectNullIsAnInvalidArgument) {
    auto proc = makeProcessor();
    EXPECT_EQ(proc->connect(nullptr), kInvalidArgument);
    EXPECT_EQ(proc->peerConnection(), nullptr);
}

TEST(ProcessorConnection, SecondConnectIsRefusedAndKeepsTheFirstPeer) {
    auto proc = makeProcessor();
    auto first = makePeer();
    auto second = makePeer();
    const uint32_t firstBefore = references(first.get());
    const uint32_t secondBefore = references(second.get());

    EXPECT_EQ(proc->connect(first.get()), kResultOk);
    EXPECT_EQ(references(first.get()), firstBefore + 1);
    EXPECT_EQ(proc->connect(second.get()), kResultFalse);
    EXPECT_EQ(proc->peerConnection(), first.get());
    EXPECT_EQ(references(second.get()), secondBefore);

    EXPECT_EQ(proc->disconnect(first.get()), kResultOk);
    EXPECT_EQ(references(first.get()), firstBefore);
}

TEST(ProcessorConnection, OnlyThePeerCanBeDisconnected) {
    auto proc = makeProcessor();
    auto peer = makePeer();
    auto stranger = makePeer();
    ASSERT_EQ(proc->connect(peer.get()), kResultOk);

    EXPECT_EQ(proc->disconnect(stranger.get()), kResultFalse);
    EXPECT_EQ(proc->disconnect(nullptr), kResultFalse);
    EXPECT_EQ(proc->peerConnection(), peer.get());

    EXPECT_EQ(proc->disconnect(peer.get()), kResultOk);
    EXPECT_EQ(proc->peerConnection(), nullptr);
    EXPECT_EQ(proc->disconnect(peer.get()), kResultFalse) << "disconnected twice";
    EXPECT_EQ(references(peer.get()), 1u);
}

TEST(ProcessorConnection, ReconnectAfterDisconnect) {
    auto proc = makeProcessor();
    auto first = makePeer();
    auto second = makePeer();
    ASSERT_EQ(proc->connect(first.get()), kResultOk);
    ASSERT_EQ(proc->disconnect(first.get()), kResultOk);
    EXPECT_EQ(proc->connect(second.get()), kResultOk);
    EXPECT_EQ(proc->peerConnection(), second.get());
    EXPECT_EQ(proc->disconnect(second.get()), kResultOk);
}

TEST(ProcessorConnection, TerminateTellsThePeerAndLetsGoOfIt) {
    auto host = makeHost();
    auto proc = makeProcessor();
    auto peer = makePeer();
    ASSERT_EQ(proc->initialize(host.get()), kResultOk);
    ASSERT_EQ(proc->connect(peer.get()), kResultOk);

    EXPECT_EQ(proc->terminate(), kResultOk);
    ASSERT_EQ(peer->disconnectedFrom.size(), 1u);
    EXPECT_EQ(peer->disconnectedFrom[0], static_cast<IConnectionPoint*>(proc.get()));
    EXPECT_EQ(proc->peerConnection(), nullptr);
    EXPECT_EQ(references(peer.get()), 1u);

    // Nothing is left to disconnect a second time.
    EXPECT_EQ(proc->terminate(), kResultOk);
    EXPECT_EQ(peer->disconnectedFrom.size(), 1u);
}

TEST(ProcessorConnection, TerminateOfOneSideDisconnectsBothSides) {
    int destroyed = 0;
    auto host = makeHost();
    auto processor = makeProcessor(&destroyed);
    auto controller = makeProcessor(&destroyed);
    ASSERT_EQ(processor->initialize(host.get()), kResultOk);
    ASSERT_EQ(controller->initialize(host.get()), kResultOk);
    ASSERT_EQ(processor->connect(controller.get()), kResultOk);
    ASSERT_EQ(controller->connect(processor.get()), kResultOk);
    EXPECT_EQ(processor->refCount(), 2);
    EXPECT_EQ(controller->refCount(), 2);

    EXPECT_EQ(processor->terminate(), kResultOk);
    EXPECT_EQ(processor->peerConnection(), nullptr);
    EXPECT_EQ(controller->peerConnection(), nullptr);
    EXPECT_EQ(processor->refCount(), 1);
    EXPECT_EQ(controller->refCount(), 1);

    // The other side's terminate finds nothing more to undo.
    EXPECT_EQ(controller->terminate(), kResultOk);
    EXPECT_EQ(references(host.get()), 1u);

    // No reference cycle survives: both objects go with their last reference.
    processor.reset();
    controller.reset();
    EXPECT_EQ(destroyed, 2);
}

} // namespace
} // namespace ProcessorTesting
