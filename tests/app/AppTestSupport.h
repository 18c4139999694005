// Shared set-up of the application-shell tests: fresh stand-ins, a private HOME for the user
// defaults, and helpers to read the call log.
#pragma once
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "AppKit/AppKit.h"
#include "DocSession/CallLog.h"
#include "Foundation/Foundation.h"
#include "UIFramework/UIFramework.h"

class AppShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/qv-app-test-XXXXXX";
        m_home = mkdtemp(pattern);
        m_oldHome = std::getenv("HOME") ? std::getenv("HOME") : "";
        setenv("HOME", m_home.c_str(), 1);
        NSUserDefaults::resetStandardUserDefaults();
        NSLocale::SetCountryCodeOverride(std::string("US"));
        ResetStandIns();
    }
    void TearDown() override {
        ResetStandIns();
        NSLocale::SetCountryCodeOverride(std::nullopt);
        NSUserDefaults::resetStandardUserDefaults();
        setenv("HOME", m_oldHome.c_str(), 1);
        std::string cmd = "rm -rf '" + m_home + "'";
        [[maybe_unused]] int rc = std::system(cmd.c_str());
    }

    // Entries that start with prefix, in order.
    static std::vector<std::string> LogStartingWith(const std::string& prefix) {
        std::vector<std::string> out;
        for (auto& e : CallLog::Entries())
            if (e.rfind(prefix, 0) == 0) out.push_back(e);
        return out;
    }
    static bool LogHas(const std::string& entry) {
        for (auto& e : CallLog::Entries())
            if (e == entry) return true;
        return false;
    }
    // Whether the expected entries occur in the log in this order (others may lie between).
    static ::testing::AssertionResult LogContainsInOrder(const std::vector<std::string>& expected) {
        auto log = CallLog::Entries();
        size_t at = 0;
        for (const auto& want : expected) {
            while (at < log.size() && log[at] != want) ++at;
            if (at == log.size()) {
                std::string all;
                for (auto& e : log) all += "\n  " + e;
                return ::testing::AssertionFailure() << "missing, or out of order: " << want << "\nlog:" << all;
            }
            ++at;
        }
        return ::testing::AssertionSuccess();
    }

    std::string m_home;
    std::string m_oldHome;
};
