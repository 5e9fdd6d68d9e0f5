#include "com.h"
#include "component_interfaces.h"

#include <gtest/gtest.h>

using namespace velmora;

TEST(ComErrorText, CommonSystemTexts) {
    EXPECT_EQ(ErrorMessageText(E_POINTER), "Invalid pointer");
    EXPECT_EQ(ErrorMessageText(E_NOINTERFACE), "No such interface supported");
    EXPECT_EQ(ErrorMessageText(E_FAIL), "Unspecified error");
    EXPECT_EQ(ErrorMessageText(E_OUTOFMEMORY),
              "Not enough memory resources are available to complete this operation.");
    EXPECT_EQ(ErrorMessageText(E_INVALIDARG), "The parameter is incorrect.");
    EXPECT_EQ(ErrorMessageText(E_ACCESSDENIED), "Access is denied.");
}

TEST(ComErrorText, DispatchRangeCountsFromBase) {
    EXPECT_EQ(ErrorMessageText(static_cast<HRESULT>(0x80040201u)), "IDispatch error #1");
    EXPECT_EQ(ErrorMessageText(static_cast<HRESULT>(0x80040300u)), "IDispatch error #256");
    EXPECT_EQ(ErrorMessageText(static_cast<HRESULT>(0x8004FFFFu)), "IDispatch error #65023");
    // The base itself and codes either side of the range are unknown.
    EXPECT_EQ(ErrorMessageText(static_cast<HRESULT>(0x80040200u)), "Unknown error 0x80040200");
    EXPECT_EQ(ErrorMessageText(static_cast<HRESULT>(0x800401FFu)), "Unknown error 0x800401FF");
    EXPECT_EQ(ErrorMessageText(static_cast<HRESULT>(0x80050000u)), "Unknown error 0x80050000");
    EXPECT_EQ(ErrorMessageText(static_cast<HRESULT>(0x8ABCDEF0u)), "Unknown error 0x8ABCDEF0");
}

TEST(ComError, CarriesCodeInterfaceAndText) {
    try {
        throw ComError(E_POINTER, IServiceProxy::iid);
    } catch (const ComError& e) {
        EXPECT_EQ(e.hr(), E_POINTER);
        EXPECT_EQ(e.iid(), IServiceProxy::iid);
        EXPECT_EQ(e.message(), "Invalid pointer");
        EXPECT_STREQ(e.what(), "Invalid pointer");
    }
}

TEST(Guid, WrittenInRegistryForm) {
    EXPECT_EQ(CLSID_velmoraPrxy.toString(), "{9DCC7EF5-9CB3-4C2F-AE85-C0450FF04CBD}");
    EXPECT_EQ(IServiceProxy::iid.toString(), "{584A5AFD-C2EF-479A-8BA4-CE77D49BBD21}");
    EXPECT_EQ(CLSID_SettingsStore.toString(), "{6DFAF6F3-BFE7-4028-ADD4-98D078747FB1}");
    EXPECT_EQ(ISettingsStore::iid.toString(), "{E6FAC461-C609-44B7-9F94-7725628AC3C8}");
    EXPECT_EQ(IAccount::iid.toString(), "{F9E33A9B-F6BF-4DAC-9B53-30DA2B92D42F}");
    EXPECT_EQ(IUserProfile::iid.toString(), "{47163A07-B7A0-4607-9E48-BCB1F8BCBF3C}");
    EXPECT_EQ(IFolder::iid.toString(), "{38A61AC8-5EEA-4F9B-B576-32B926280EFD}");
    EXPECT_EQ(IMediaFile::iid.toString(), "{720FB4CB-7FE4-48F8-BF13-36D93DC5ECFE}");
    EXPECT_EQ(IAccessList::iid.toString(), "{265B2F3B-D268-43D9-8EE3-8F103D588C5B}");
}

TEST(VariantBool, OnlyMinusOneIsTrue) {
    EXPECT_TRUE(IsTrue(-1));
    EXPECT_FALSE(IsTrue(1));
    EXPECT_FALSE(IsTrue(0));
    EXPECT_FALSE(IsTrue(static_cast<VariantBool>(0x7FFF)));
    EXPECT_EQ(ToVariantBool(true), -1);
    EXPECT_EQ(ToVariantBool(false), 0);
}
