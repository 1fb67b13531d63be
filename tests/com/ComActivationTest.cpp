#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/com/Activation.h"
#include "platform/com/Registration.h"
#include "platform/library/Library.h"
#include "platform/registry/Registry.h"
#include "tests/com_fixture/Counter.h"
#include "tests/fixtures/TestRoot.h"

namespace {

using kvtest::BinPath;
using kvtest::RunProgram;

const std::string kServer = KV_TEST_COM_SERVER;

std::string ReadText(HKEY root, const std::string& key, const char* name) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return "<no key>";
    char data[1024] = {0};
    DWORD size = sizeof data - 1;
    LONG rc = RegQueryValueExA(handle, name, nullptr, nullptr, reinterpret_cast<LPBYTE>(data), &size);
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS ? std::string(data) : "<no value>";
}

bool KeyExists(HKEY root, const std::string& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    RegCloseKey(handle);
    return true;
}

std::u16string Wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

TEST(Guid, TextFormRoundTripsInEitherCase) {
    OLECHAR text[39];
    ASSERT_EQ(StringFromGUID2(CLSID_KvTestCounter, text, 39), 39);
    EXPECT_EQ(std::u16string(text), u"{6C0D7E52-3B1A-4F5E-9A21-0E4B7D8C1F01}");
    CLSID back{};
    EXPECT_EQ(CLSIDFromString(text, &back), S_OK);
    EXPECT_TRUE(back == CLSID_KvTestCounter);
    std::u16string lower = u"{6c0d7e52-3b1a-4f5e-9a21-0e4b7d8c1f01}";
    EXPECT_EQ(CLSIDFromString(lower.c_str(), &back), S_OK);
    EXPECT_TRUE(back == CLSID_KvTestCounter);
    EXPECT_EQ(StringFromGUID2(CLSID_KvTestCounter, text, 38), 0);
}

TEST(Guid, MalformedTextIsRefusedAndLeavesNullGuid) {
    for (const char* bad : {"", "6C0D7E52-3B1A-4F5E-9A21-0E4B7D8C1F01", "{6C0D7E52-3B1A-4F5E-9A21-0E4B7D8C1F0}",
                            "{6C0D7E52-3B1A-4F5E-9A21-0E4B7D8C1F01", "{6C0D7E52+3B1A-4F5E-9A21-0E4B7D8C1F01}",
                            "{6C0D7E5G-3B1A-4F5E-9A21-0E4B7D8C1F01}", "{6C0D7E52-3B1A-4F5E-9A21-0E4B7D8C1F011}",
                            "KvTest.Counter.1"}) {
        CLSID clsid = CLSID_KvTestCounter;
        EXPECT_EQ(CLSIDFromString(Wide(bad).c_str(), &clsid), CO_E_CLASSSTRING) << bad;
        EXPECT_TRUE(clsid == GUID_NULL) << bad;
    }
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromString(nullptr, &clsid), CO_E_CLASSSTRING);
}

TEST(ComActivation, UnregisteredClassIsReportedAsSuch) {
    kvtest::TestRoot root;
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_KvTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ICounter, &object),
              REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
}

TEST(ComActivation, RegisteredServerIsLoadedThroughItsRegistryEntry) {
    kvtest::TestRoot root;
    auto reg = RunProgram(BinPath("kvregsvr32"), {kServer});
    ASSERT_EQ(reg.exitCode, 0) << reg.err;
    const std::string clsid = "CLSID\\{6C0D7E52-3B1A-4F5E-9A21-0E4B7D8C1F01}";
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, clsid, nullptr), "Counter Class");
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, clsid + "\\InprocServer32", "ThreadingModel"), "Both");
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, clsid + "\\ProgID", nullptr), "KvTest.Counter.1");
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, clsid + "\\VersionIndependentProgID", nullptr), "KvTest.Counter");
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, "KvTest.Counter.1\\CLSID", nullptr), clsid.substr(6));
    EXPECT_EQ(ReadText(HKEY_CLASSES_ROOT, "KvTest.Counter\\CurVer", nullptr), "KvTest.Counter.1");

    ICounter* counter = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_KvTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ICounter,
                               reinterpret_cast<void**>(&counter)),
              S_OK);
    counter->Add(4);
    counter->Add(3);
    EXPECT_EQ(counter->Total(), 7);
    void* other = reinterpret_cast<void*>(1);
    EXPECT_EQ(counter->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    // A second object is a separate instance from the already loaded module.
    CComPtr<ICounter> second;
    ASSERT_EQ(CoCreateInstance(CLSID_KvTestCounter, nullptr, CLSCTX_ALL, IID_ICounter, reinterpret_cast<void**>(&second)),
              S_OK);
    EXPECT_EQ(second->Total(), 0);
    EXPECT_EQ(counter->Release(), 0u);
    // The module may go once nothing of it is alive.
    HMODULE module = GetModuleHandleA("TestComServer.dll");
    ASSERT_NE(module, nullptr);
    auto canUnload = reinterpret_cast<LPFNCANUNLOADNOW>(GetProcAddress(module, "DllCanUnloadNow"));
    ASSERT_NE(canUnload, nullptr);
    EXPECT_EQ(canUnload(), S_FALSE);
    second.Release();
    EXPECT_EQ(canUnload(), S_OK);

    auto unreg = RunProgram(BinPath("kvregsvr32"), {"/u", kServer});
    ASSERT_EQ(unreg.exitCode, 0) << unreg.err;
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, clsid));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "KvTest.Counter.1"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "KvTest.Counter"));
    void* gone = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_KvTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ICounter, &gone),
              REGDB_E_CLASSNOTREG);
}

TEST(ComActivation, ServerModuleThatCannotBeLoadedOrHasNoEntryFails) {
    kvtest::TestRoot root;
    const std::string key = "CLSID\\{6C0D7E52-3B1A-4F5E-9A21-0E4B7D8C1F01}\\InprocServer32";
    ASSERT_EQ(kv::platform::SetRegistryText(HKEY_CLASSES_ROOT, key, nullptr, root.Path() + "/Missing.so"), ERROR_SUCCESS);
    void* object = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_KvTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ICounter, &object),
              CO_E_DLLNOTFOUND);
    // A module that loads but is no COM server.
    ASSERT_EQ(kv::platform::SetRegistryText(HKEY_CLASSES_ROOT, key, nullptr, BinPath("OrvRes409.so")), ERROR_SUCCESS);
    EXPECT_EQ(CoCreateInstance(CLSID_KvTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ICounter, &object),
              CO_E_ERRORINDLL);
    EXPECT_EQ(object, nullptr);
}

class LocalCounter : public ICounter {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
        if (riid == IID_IUnknown || riid == IID_ICounter) {
            *object = static_cast<ICounter*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return m_refs.Increment(); }
    STDMETHODIMP_(ULONG) Release() override {
        ULONG left = m_refs.Decrement();
        if (left == 0) delete this;
        return left;
    }
    STDMETHODIMP Add(LONG) override { return S_OK; }
    STDMETHODIMP_(LONG) Total() override { return 42; }

private:
    kv::platform::ComRefCount m_refs;
};

TEST(ComActivation, ClassObjectsOfTheProcessComeFirstUntilRevoked) {
    kvtest::TestRoot root;
    ASSERT_EQ(RunProgram(BinPath("kvregsvr32"), {"/s", kServer}).exitCode, 0);
    CComPtr<IClassFactory> factory;
    factory.Attach(new kv::platform::ClassFactory<LocalCounter>);
    factory->AddRef();
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(CLSID_KvTestCounter, factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    CComPtr<ICounter> local;
    ASSERT_EQ(CoCreateInstance(CLSID_KvTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ICounter,
                               reinterpret_cast<void**>(&local)),
              S_OK);
    EXPECT_EQ(local->Total(), 42);
    // Aggregation is not offered.
    IUnknown* outer = local;
    void* aggregated = nullptr;
    EXPECT_EQ(CoCreateInstance(CLSID_KvTestCounter, outer, CLSCTX_INPROC_SERVER, IID_IUnknown, &aggregated),
              CLASS_E_NOAGGREGATION);

    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(CoRevokeClassObject(cookie), CO_E_OBJNOTREG);
    CComPtr<ICounter> fromModule;
    ASSERT_EQ(CoCreateInstance(CLSID_KvTestCounter, nullptr, CLSCTX_INPROC_SERVER, IID_ICounter,
                               reinterpret_cast<void**>(&fromModule)),
              S_OK);
    EXPECT_EQ(fromModule->Total(), 0);
}

TEST(Kvregsvr32, FailuresExitWithTheirCodes) {
    kvtest::TestRoot root;
    auto none = RunProgram(BinPath("kvregsvr32"), {});
    EXPECT_EQ(none.exitCode, 1);
    auto missing = RunProgram(BinPath("kvregsvr32"), {root.Path() + "/Nothing.so"});
    EXPECT_EQ(missing.exitCode, 3);
    EXPECT_NE(missing.err.find("failed to load"), std::string::npos) << missing.err;
    auto noEntry = RunProgram(BinPath("kvregsvr32"), {BinPath("OrvRes409.so")});
    EXPECT_EQ(noEntry.exitCode, 4);
    EXPECT_NE(noEntry.err.find("DllRegisterServer"), std::string::npos) << noEntry.err;
    auto help = RunProgram(BinPath("kvregsvr32"), {"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_FALSE(std::filesystem::exists(root.Path() + "/registry/HKCR"));
}

}  // namespace
