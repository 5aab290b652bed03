// The tests' main: GoogleTest's own, except that failures are printed only
// to the console. GoogleTest also sends each failure to OutputDebugStringA,
// which takes the process down where 32-bit Wine runs under qemu-user.
#include "tests/support/plugin_library.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <memory>

namespace {

class ConsoleOnlyPrinter : public ::testing::TestEventListener {
public:
    explicit ConsoleOnlyPrinter(::testing::TestEventListener* inner) : inner_(inner) {}

    void OnTestProgramStart(const ::testing::UnitTest& test) override { inner_->OnTestProgramStart(test); }
    void OnTestIterationStart(const ::testing::UnitTest& test, int iteration) override {
        inner_->OnTestIterationStart(test, iteration);
    }
    void OnEnvironmentsSetUpStart(const ::testing::UnitTest& test) override { inner_->OnEnvironmentsSetUpStart(test); }
    void OnEnvironmentsSetUpEnd(const ::testing::UnitTest& test) override { inner_->OnEnvironmentsSetUpEnd(test); }
    void OnTestSuiteStart(const ::testing::TestSuite& suite) override { inner_->OnTestSuiteStart(suite); }
    void OnTestStart(const ::testing::TestInfo& info) override { inner_->OnTestStart(info); }
    void OnTestPartResult(const ::testing::TestPartResult& result) override {
        if (result.type() == ::testing::TestPartResult::kSuccess) return;
        const char* file = result.file_name() ? result.file_name() : "unknown file";
        if (result.line_number() >= 0)
            std::printf("%s:%d: %s\n%s\n", file, result.line_number(),
                        result.skipped() ? "Skipped" : "Failure", result.message());
        else
            std::printf("%s: %s\n%s\n", file, result.skipped() ? "Skipped" : "Failure", result.message());
        std::fflush(stdout);
    }
    void OnTestEnd(const ::testing::TestInfo& info) override { inner_->OnTestEnd(info); }
    void OnTestSuiteEnd(const ::testing::TestSuite& suite) override { inner_->OnTestSuiteEnd(suite); }
    void OnEnvironmentsTearDownStart(const ::testing::UnitTest& test) override {
        inner_->OnEnvironmentsTearDownStart(test);
    }
    void OnEnvironmentsTearDownEnd(const ::testing::UnitTest& test) override {
        inner_->OnEnvironmentsTearDownEnd(test);
    }
    void OnTestIterationEnd(const ::testing::UnitTest& test, int iteration) override {
        inner_->OnTestIterationEnd(test, iteration);
    }
    void OnTestProgramEnd(const ::testing::UnitTest& test) override { inner_->OnTestProgramEnd(test); }

private:
    std::unique_ptr<::testing::TestEventListener> inner_;
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Wine gives a thread's IME windows to its first top-level window and
    // destroys them with it; Wine 8 then unmaps the X window it has just
    // destroyed, an X error that ends the process. A window that lives as
    // long as the program holds them, so test windows come and go freely.
    if (!CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr))
        std::printf("no window to hold Wine's IME windows: error %lu\n", GetLastError());
    auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
    if (auto* printer = listeners.Release(listeners.default_result_printer()))
        listeners.Append(new ConsoleOnlyPrinter(printer));
    const int result = RUN_ALL_TESTS();
    if (PluginWasLoaded()) {
        std::fflush(stdout);
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), static_cast<UINT>(result));
    }
    return result;
}
