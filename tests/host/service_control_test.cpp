// Control codes to the platform service as the simulated unit plays it: the three outcomes and
// their result codes, what the service records, fault injection, its side of the settings keys,
// and the tavikctl commands that steer it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "frame/service_control.h"
#include "frame/settings_file.h"
#include "sim/service_model.h"
#include "support/sim_fixture.h"

namespace {

namespace sim = tavik::sim;
using tavik::frame::sendServiceControl;
using tavik::frame::serviceControlError;
using tavik::platform::ServiceControlResult;
using Codes = std::vector<uint32_t>;

class ServiceControlTest : public tavik::test::SimTest {
protected:
    std::string ctl() const { return tavik::test::binPath("tavikctl"); }
};

TEST_F(ServiceControlTest, AcceptingServiceRecordsEveryCodeInOrder) {
    const Codes sent = {tavik::frame::kServiceShutDown, tavik::frame::kServiceApplyLedDimming,
                        tavik::frame::kServicePowerMgrUnregister, tavik::frame::kServicePowerMgrRegisterConfig1,
                        tavik::frame::kServicePowerMgrRegisterConfig2};
    for (uint32_t code : sent) {
        const ServiceControlResult r = sendServiceControl(code);
        EXPECT_EQ(r, ServiceControlResult::Accepted) << code;
        EXPECT_EQ(serviceControlError(r), ERR_SUCCESS);
    }
    EXPECT_EQ(sim::serviceReceived(), (Codes{129, 132, 133, 134, 135}));
    EXPECT_TRUE(sim::serviceRefused().empty());
    const auto log = requests("service:TavikService");
    ASSERT_EQ(log.size(), 5u);
    for (size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].code, sent[i]);
        EXPECT_TRUE(log[i].ok);
    }
}

TEST_F(ServiceControlTest, RefusingServiceGivesCommandFailed) {
    ASSERT_TRUE(sim::setServiceMode("refusing"));
    const ServiceControlResult r = sendServiceControl(tavik::frame::kServiceShutDown);
    EXPECT_EQ(r, ServiceControlResult::Refused);
    EXPECT_EQ(serviceControlError(r), ERR_COMMAND_FAILED);
    EXPECT_TRUE(sim::serviceReceived().empty());
    EXPECT_EQ(sim::serviceRefused(), (Codes{129}));
    const auto log = requests("service:TavikService");
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].code, 129u);
    EXPECT_FALSE(log[0].ok);
}

TEST_F(ServiceControlTest, AbsentServiceGivesOpenFailedFromProfile) {
    sim::json profile = sim::Unit::defaultProfile();
    profile["service"]["mode"] = "absent";
    unit().loadProfile(profile);
    EXPECT_EQ(sim::serviceMode(), "absent");
    const ServiceControlResult r = sendServiceControl(tavik::frame::kServiceApplyLedDimming);
    EXPECT_EQ(r, ServiceControlResult::NotOpened);
    EXPECT_EQ(serviceControlError(r), ERR_OPEN_FAILED);
    EXPECT_TRUE(sim::serviceReceived().empty());
    EXPECT_TRUE(sim::serviceRefused().empty());
    const auto log = requests("service:TavikService");
    ASSERT_EQ(log.size(), 1u); // the attempt is logged all the same
    EXPECT_EQ(log[0].code, 132u);
    EXPECT_FALSE(log[0].ok);
}

TEST_F(ServiceControlTest, UnknownModeIsRejected) {
    EXPECT_FALSE(sim::setServiceMode("sleeping"));
    EXPECT_EQ(sim::serviceMode(), "accepting");
}

TEST_F(ServiceControlTest, FaultOverridesTheModeForItsCodeAndCount) {
    unit().addFault({{"target", "service"}, {"code", 129}, {"action", "refusing"}, {"remaining", 1}});
    unit().addFault({{"target", "service"}, {"code", 133}, {"action", "absent"}});
    EXPECT_EQ(sendServiceControl(132), ServiceControlResult::Accepted); // other code untouched
    EXPECT_EQ(sendServiceControl(129), ServiceControlResult::Refused);
    EXPECT_EQ(sendServiceControl(129), ServiceControlResult::Accepted); // used up
    EXPECT_EQ(sendServiceControl(133), ServiceControlResult::NotOpened);
    EXPECT_EQ(sendServiceControl(133), ServiceControlResult::NotOpened); // no count: every time
    EXPECT_EQ(sim::serviceReceived(), (Codes{132, 129}));
    EXPECT_EQ(sim::serviceRefused(), (Codes{129}));
}

TEST_F(ServiceControlTest, ServiceWritesSharedKeysThroughTheStore) {
    {
        tavik::frame::SettingsFile store;
        store.load();
        store.set("UseLEDDimming", "1");
    }
    sim::setServiceSetting("PowerMgrRunning", "1");
    sim::setServiceSetting("PowerMgrReq", "2");
    EXPECT_EQ(sim::serviceSetting("UseLEDDimming"), "1");
    tavik::frame::SettingsFile store;
    store.load();
    EXPECT_EQ(store.entries(), (tavik::frame::SettingsEntries{
                                   {"PowerMgrReq", "2"}, {"PowerMgrRunning", "1"}, {"UseLEDDimming", "1"}}));
}

TEST_F(ServiceControlTest, TavikctlSteersTheService) {
    std::string out;
    ASSERT_EQ(run(ctl() + " sim service mode refusing", &out), 0) << out;
    EXPECT_EQ(sendServiceControl(134), ServiceControlResult::Refused);
    ASSERT_EQ(run(ctl() + " sim service mode accepting", &out), 0) << out;
    EXPECT_EQ(sendServiceControl(135), ServiceControlResult::Accepted);
    EXPECT_NE(run(ctl() + " sim service mode broken", &out), 0);

    ASSERT_EQ(run(ctl() + " --json sim service status", &out), 0) << out;
    const auto doc = sim::json::parse(out);
    EXPECT_EQ(doc["mode"], "accepting");
    EXPECT_EQ(doc["received"], sim::json::array({135}));
    EXPECT_EQ(doc["refused"], sim::json::array({134}));

    ASSERT_EQ(run(ctl() + " sim service received", &out), 0) << out;
    EXPECT_EQ(out, "135\n");
    ASSERT_EQ(run(ctl() + " sim service clear", &out), 0) << out;
    EXPECT_TRUE(sim::serviceReceived().empty());

    ASSERT_EQ(run(ctl() + " sim service set-key PowerMgrResume 1", &out), 0) << out;
    tavik::frame::SettingsFile store;
    store.load();
    EXPECT_EQ(store.get("PowerMgrResume"), "1");
}

} // namespace
