#pragma once
// Makes one platform service fail while a guard lives, and records the paths the service was
// given: the one shape of fault injection in the tests. Guards of different services nest.

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/platform.h"

class InjectedFault {
public:
    // Fails the `nth` call of `service` from now on (1: the next; 0: none, only records), and
    // with `everyAfter` each call after it too.
    InjectedFault(PlatformService service, long nth, bool everyAfter = false)
        : service_(service), nth_(nth), everyAfter_(everyAfter), outer_(innermost_) {
        innermost_ = this;
        PlatformSetFaultHook(Hook);
    }
    // Runs `act` at the `nth` call instead, as another program would just then (a file deleted
    // or renamed), and lets every call through.
    InjectedFault(PlatformService service, long nth, std::function<void()> act)
        : InjectedFault(service, nth) {
        act_ = std::move(act);
    }
    ~InjectedFault() {
        innermost_ = outer_;
        if (innermost_ == nullptr) PlatformSetFaultHook(nullptr);
    }
    InjectedFault(const InjectedFault&) = delete;
    InjectedFault& operator=(const InjectedFault&) = delete;

    // The path of each call of the service, in order, refused or not.
    const std::vector<std::string>& Paths() const { return paths_; }

private:
    static bool Hook(PlatformService service, const char* path) {
        InjectedFault* fault = innermost_;
        while (fault != nullptr && fault->service_ != service) fault = fault->outer_;
        if (fault == nullptr) return true;
        fault->paths_.push_back(path != nullptr ? path : "");
        const long call = static_cast<long>(fault->paths_.size());
        if (fault->act_) {
            if (call == fault->nth_) fault->act_();
            return true;
        }
        return fault->nth_ == 0 || call < fault->nth_ || (call > fault->nth_ && !fault->everyAfter_);
    }

    inline static InjectedFault* innermost_ = nullptr;
    PlatformService service_;
    long nth_;
    bool everyAfter_;
    InjectedFault* outer_;
    std::function<void()> act_;
    std::vector<std::string> paths_;
};
