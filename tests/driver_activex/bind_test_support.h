// What the binding and property tests add to the shared support: drivers made with the
// reference control's fault switches of their own, the control's journal digest of bound data,
// and a bind-status callback of the test's own that records what reaches it.
#pragma once

#include "ax_test_support.h"
#include "vd_com.h"

#include <urlmon.h>

#include <cstdio>

namespace vdtest {

using vd::win32::ComPtr;

// A driver as a player makes it; `faults` are the reference control's switches for this one.
inline std::unique_ptr<vd::TvdFlashDriverActiveX> NewDriver(const char* faults = "") {
    SetEnvironmentVariableA("VDRP_FAULTS", faults);
    std::unique_ptr<vd::TvdFlashDriverActiveX> driver(
        vd::TvdFlashDriver::NewDriver<vd::TvdFlashDriverActiveX>(160, 120, 0xFF336699u));
    SetEnvironmentVariableA("VDRP_FAULTS", nullptr);
    return driver;
}

// A registered control behind a fresh driver, its journal cleared: where the binding and
// property tests start.
class DriverWithJournal : public ::testing::Test {
protected:
    void SetUp() override {
        driver_ = NewDriver();
        ASSERT_TRUE(driver_->GetIsFlashAvailable()) << "vdflashax.dll is not registered";
        ASSERT_TRUE(hooks_.Load(GetModuleHandleW(L"vdflashax.dll")));
        hooks_.clearJournal();
    }
    std::unique_ptr<vd::TvdFlashDriverActiveX> driver_;
    ControlHooks hooks_;
};

// Index of the first journal line at or after `from` that starts with prefix; -1 when none.
inline int Find(const Hooks& hooks, const std::string& prefix, int from = 0) {
    const std::vector<std::string> lines = hooks.Journal();
    for (int i = std::max(from, 0); i < static_cast<int>(lines.size()); ++i)
        if (lines[static_cast<size_t>(i)].rfind(prefix, 0) == 0) return i;
    return -1;
}

// The reference control's journal digest of bytes (FNV-1a, 32 bits, "0x" and upper-case hex).
inline std::string Digest(const std::vector<uint8_t>& data) {
    uint32_t h = 2166136261u;
    for (uint8_t b : data) h = (h ^ b) * 16777619u;
    char text[16];
    snprintf(text, sizeof text, "0x%X", h);
    return text;
}

// "bytes=N sum=..." as the reference control journals bound data.
inline std::string BytesAndSum(const std::vector<uint8_t>& data) {
    return "bytes=" + std::to_string(data.size()) + " sum=" + Digest(data);
}

// A bind-status callback that records the calls it receives and keeps the delivered stream.
class RecordingCallback final : public IBindStatusCallback {
public:
    std::vector<std::string> calls;
    ComPtr<IStream> stream;
    HRESULT stopResult = S_FALSE;

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
        static const vd::win32::TInterfaceRow<RecordingCallback> kRows[] = {
            vd::win32::InterfaceRow<RecordingCallback, IBindStatusCallback>(IID_IUnknown),
            vd::win32::InterfaceRow<RecordingCallback, IBindStatusCallback>(IID_IBindStatusCallback),
        };
        return vd::win32::QueryInterfaceFrom(this, kRows, riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++refs; }
    STDMETHODIMP_(ULONG) Release() override { return --refs; }
    ULONG refs = 1;  // lives on the test's stack

    STDMETHODIMP OnStartBinding(DWORD, IBinding*) override {
        calls.push_back("OnStartBinding");
        return S_OK;
    }
    STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
    STDMETHODIMP OnProgress(ULONG progress, ULONG max, ULONG status, LPCWSTR) override {
        calls.push_back("OnProgress " + std::to_string(progress) + "/" + std::to_string(max) + " " +
                        std::to_string(status));
        return S_OK;
    }
    STDMETHODIMP OnStopBinding(HRESULT hr, LPCWSTR) override {
        calls.push_back("OnStopBinding");
        stopResult = hr;
        return S_OK;
    }
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO*) override {
        if (flags) *flags = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA;
        return S_OK;
    }
    STDMETHODIMP OnDataAvailable(DWORD flags, DWORD size, FORMATETC*, STGMEDIUM* medium) override {
        calls.push_back("OnDataAvailable " + std::to_string(flags) + " " + std::to_string(size));
        if (medium && medium->tymed == TYMED_ISTREAM) stream = medium->pstm;
        return S_OK;
    }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }
};

// A bind context carrying `callback` where urlmon's registration keeps it.
inline ComPtr<IBindCtx> BindContextFor(IBindStatusCallback* callback) {
    ComPtr<IBindCtx> context;
    EXPECT_EQ(CreateBindCtx(0, &context), S_OK);
    ComPtr<IBindStatusCallback> previous;
    EXPECT_EQ(RegisterBindStatusCallback(context.Get(), callback, &previous, 0), S_OK);
    return context;
}

// Everything left in a stream from where it stands.
inline std::vector<uint8_t> ReadAll(IStream* stream) {
    std::vector<uint8_t> out;
    uint8_t buffer[4096];
    for (;;) {
        ULONG got = 0;
        const HRESULT hr = stream->Read(buffer, sizeof buffer, &got);
        out.insert(out.end(), buffer, buffer + got);
        if (FAILED(hr) || got == 0) break;
    }
    return out;
}

}  // namespace vdtest
