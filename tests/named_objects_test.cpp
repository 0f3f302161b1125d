// Named mutexes as the platform keeps them: a second opener of a name is
// told it exists, a name lives while some process holds it, and a paused
// process keeps its handles while another runs.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "device.h"
#include "named_objects.h"
#include "new_device.h"
#include "owner_device.h"
#include "state_file.h"

namespace {

std::optional<uint32_t> Create(sim::DeviceState& d, const char* name) {
    return sim::DeviceCreateMutex(d, false, name != nullptr ? std::optional<std::string>(name) : std::nullopt,
                                  name != nullptr ? std::string(name).size() : 0);
}

TEST(NamedObjects, ASecondOpenerOfANameIsToldItExists) {
    const struct {
        const char* name;
        bool given;
        uint32_t last_error;
    } steps[] = {
        {"Clock fix status", true, 0},
        {"Clock fix status", true, sim::kErrorAlreadyExists},
        {"clock fix status", true, 0},  // names keep their case
        {nullptr, true, 0},             // unnamed: never shared
        {nullptr, true, 0},
    };
    sim::DeviceState d = NewDevice();
    for (const auto& s : steps) {
        const std::optional<uint32_t> h = Create(d, s.name);
        EXPECT_EQ(h.has_value(), s.given);
        EXPECT_EQ(d.os.last_error, s.last_error) << (s.name != nullptr ? s.name : "(unnamed)");
    }
    EXPECT_EQ(sim::OpenHandles(d), 0);  // mutexes are not CreateProcessW's handles
}

TEST(NamedObjects, ANameLivesWhileAProcessHoldsItAndNoLonger) {
    sim::DeviceState d = NewDevice();
    const uint32_t first = *Create(d, "n");
    const uint32_t second = *Create(d, "n");
    ASSERT_TRUE(sim::DeviceCloseHandle(d, first));
    Create(d, "n");
    EXPECT_EQ(d.os.last_error, sim::kErrorAlreadyExists);  // `second` and this one hold it
    ASSERT_TRUE(sim::DeviceCloseHandle(d, second));
    sim::EndProcess(d);  // the third handle goes with its process
    Create(d, "n");
    EXPECT_EQ(d.os.last_error, 0U);
    EXPECT_TRUE(sim::SaneMutexes(d));
}

TEST(NamedObjects, APausedProcessKeepsItsNameWhileAnotherRuns) {
    sim::DeviceState d = NewDevice();
    ASSERT_TRUE(Create(d, "n"));
    const sim::ProcessContext paused = sim::PutProcessAside(d);
    sim::BeginRun(d, 60, 0, false);  // another process, which ends what it left
    Create(d, "n");
    EXPECT_EQ(d.os.last_error, sim::kErrorAlreadyExists);
    sim::EndProcess(d);
    sim::RestoreProcess(d, paused);
    sim::EndProcess(d);
    Create(d, "n");
    EXPECT_EQ(d.os.last_error, 0U);
}

TEST(NamedObjects, WhatThePlatformCannotGiveIsRefusedWithItsReason) {
    sim::DeviceState d = NewDevice();
    EXPECT_FALSE(sim::DeviceCreateMutex(d, true, std::string("n"), 1));  // attributes: NULL only
    ASSERT_EQ(d.log.violation_count, 1U);
    EXPECT_STREQ(d.log.violations[0].text,
                 "CreateMutexW given security attributes, which must be NULL on this platform");
    const std::string longest(sim::kMaxMutexNameUnits, 'x');
    EXPECT_TRUE(sim::DeviceCreateMutex(d, false, longest, longest.size()));
    EXPECT_FALSE(sim::DeviceCreateMutex(d, false, longest + "x", longest.size() + 1));
    EXPECT_EQ(d.os.last_error, sim::kErrorFilenameExcedRange);
    sim::EndProcess(d);
    for (int i = 0; i < sim::kMaxMutexes; ++i) {  // a name slot each, a handle each
        ASSERT_TRUE(Create(d, std::to_string(i).c_str())) << i;
    }
    EXPECT_FALSE(Create(d, nullptr));  // eight handles: the table is full
    EXPECT_EQ(d.os.last_error, sim::kErrorNotEnoughMemory);
    EXPECT_TRUE(sim::CheckState(d));  // every slot in use, the last one too
    ASSERT_TRUE(sim::DeviceCloseHandle(d, d.os.handles[sim::kMaxHandles - 1]));
    EXPECT_TRUE(Create(d, std::to_string(sim::kMaxMutexes - 1).c_str()));
    EXPECT_EQ(d.os.last_error, 0U);  // the last slot's name went with its handle
    sim::ClearMutexes(d);  // a reset ends every process
    sim::EndProcess(d);
    EXPECT_TRUE(Create(d, "0"));
    EXPECT_EQ(d.os.last_error, 0U);
}

// A state file whose names and handles disagree is one the device never
// made: refused.
TEST(NamedObjects, AStateWhoseNamesAndHandlesDisagreeIsRefused) {
    sim::DeviceState good = NewDevice();
    ASSERT_TRUE(Create(good, "n"));
    ASSERT_TRUE(sim::CheckState(good));
    sim::DeviceState open_name = good;
    std::memset(open_name.os.mutexes[0].name, 'x', sizeof open_name.os.mutexes[0].name);
    sim::DeviceState free_slot = good;
    free_slot.os.mutexes[0].opens = 0;  // a handle to a name no process holds
    sim::DeviceState no_handle = good;
    no_handle.os.handles[0] = 0;  // a kind for a handle not given
    sim::DeviceState past_slots = good;  // in a later slot of the table
    past_slots.os.handles[3] = good.os.handles[0] + 4;
    past_slots.os.handle_kinds[3] = sim::kMaxMutexes + 1;
    for (const sim::DeviceState* d : {&open_name, &free_slot, &no_handle, &past_slots}) {
        const sim::Status checked = sim::CheckState(*d);
        ASSERT_FALSE(checked);
        EXPECT_EQ(checked.why(), "corrupt handle table");
    }
}

}  // namespace
