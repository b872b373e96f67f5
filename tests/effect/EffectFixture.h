/* EffectFixture.h — the built effect module loaded into a fresh host of ours and registered, as every
   test of the effect's shell starts. */
#pragma once

#include "cfhost/EffectInstance.h"
#include "cfhost/Host.h"

#include <gtest/gtest.h>

#include <memory>

class EffectFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        host = std::make_unique<cfhost::Host>();
        effect = std::make_unique<cfhost::EffectInstance>(*host, CRUMBLEFORGE_MODULE_PATH);
        effect->registerModule();
    }

    cfhost::Host& h() { return *host; }
    cfhost::EffectInstance& fx() { return *effect; }

    std::unique_ptr<cfhost::Host> host;
    std::unique_ptr<cfhost::EffectInstance> effect;
};
