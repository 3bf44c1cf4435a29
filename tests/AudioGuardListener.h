#pragma once
// Included into every source of the end-to-end suites. With
// NIVOLO_AUDIO_GUARD=1 each test starts with a clean audio-thread guard and
// fails when its blocks allocated, blocked, ran late or came from a wrong
// thread; without it nothing changes.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "host/AudioThreadGuard.h"

namespace NivoloTesting {

class AudioGuardListener : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override { NivoloHost::AudioThreadGuard::reset(); }

    void OnTestEnd(const ::testing::TestInfo&) override {
        using NivoloHost::AudioThreadGuard;
        const AudioThreadGuard::Counts counts = AudioThreadGuard::counts();
        if (counts.violations() == 0) return;
        std::ostringstream details;
        AudioThreadGuard::finish(details);
        ADD_FAILURE() << "the audio thread broke its rules during this test:\n" << details.str();
        AudioThreadGuard::reset();
    }

    // Installs the listener when the environment asks for the guard; once per program.
    static bool installFromEnvironment() {
        if (!NivoloHost::AudioThreadGuard::enabled()) return false;
        NivoloHost::AudioThreadGuard::enable();
        // The host programs the tests start run guarded too; they speak up only
        // when something was wrong (and then fail with their exit status).
        setenv("NIVOLO_AUDIO_GUARD_QUIET", "1", 1);
        ::testing::UnitTest::GetInstance()->listeners().Append(new AudioGuardListener);
        return true;
    }
};

inline const bool kAudioGuardListenerInstalled = AudioGuardListener::installFromEnvironment();

} // namespace NivoloTesting
