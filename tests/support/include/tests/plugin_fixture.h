// Loads the built plug-in file once per test and creates instances through
// our own host, as a DAW would.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "host/vst_host.h"

// The plug-in file the fixtures load: the shipped one, or in the panner
// suites the one built for the kernel path under test.
const char* pluginFileUnderTest();

class PluginFixture : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        library = vsthost::PluginLibrary::open(pluginFileUnderTest(), &error);
        ASSERT_NE(nullptr, library) << error;
        entry = library->entryPoint("VSTPluginMain");
        ASSERT_NE(nullptr, entry);
    }

    std::unique_ptr<vsthost::Instance> createInstance() {
        auto instance = vsthost::Instance::create(entry, host);
        EXPECT_NE(nullptr, instance);
        return instance;
    }

    vsthost::RecordingHost host;
    std::unique_ptr<vsthost::PluginLibrary> library;
    vsthost::EntryPoint entry = nullptr;
};
