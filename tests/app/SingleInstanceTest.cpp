// One Marlowick per machine: what a start finds and says, with marks of the test's own names. Another user is
// pretended by another user's identifier, another logon session by another name of the session's mark.
#include "app/SingleInstance.h"
#include "framework/MessageBox.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace {

// Records the text of every message box instead of showing it.
struct MessageBoxRecord {
    MessageBoxRecord()
        : previous(fw::SetMessageBoxHook([this](const fw::MessageBoxRequest& request) {
              texts.push_back(request.text);
              return IDOK;
          })) {}
    ~MessageBoxRecord() { fw::SetMessageBoxHook(std::move(previous)); }
    std::vector<std::wstring> texts;
    fw::MessageBoxHook previous;
};

// S-1-5-21-1-2-3-1001, a user of a domain that is not this machine's.
const app::Sid kAnotherUser{1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0, 0, 0, 0xE9, 3, 0, 0};

// The marks of one test as a logon session sees them.
app::InstanceIdentity Identity(const std::wstring& test, app::Sid user = app::CurrentUserSid(), int session = 1) {
    const std::wstring name = L"Marlowick test " + std::to_wstring(::GetCurrentProcessId()) + L" " + test;
    return {L"Global\\" + name, name + L" " + std::to_wstring(session), std::move(user)};
}

fw::UniqueHandle MutexWithSecurity(const std::wstring& name, const std::wstring& sddl) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr)) {
        return {};
    }
    fw::UniqueLocalMemory owned(descriptor);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor, FALSE};
    return fw::UniqueHandle(::CreateMutexW(&attributes, FALSE, name.c_str()));
}

// The mark as a user meets it who is neither its owner, an administrator nor the system: only its entries for
// everyone apply. The copy's owner is the system, which this process is not (Wine lets a test name any owner), so
// that no owner's rights apply either.
fw::UniqueHandle MarkAsOthersMeetIt(HANDLE mark, const std::wstring& name) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    wchar_t* text = nullptr;
    if (::GetSecurityInfo(mark, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr,
                          &descriptor) != ERROR_SUCCESS) {
        return {};
    }
    fw::UniqueLocalMemory owned(descriptor);
    if (!::ConvertSecurityDescriptorToStringSecurityDescriptorW(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION,
                                                                &text, nullptr)) {
        return {};
    }
    fw::UniqueLocalMemory ownedText(text);
    const std::wstring dacl = text;
    std::wstring everyones;
    const std::wregex entry(L"\\([^()]*;WD\\)");
    for (auto it = std::wsregex_iterator(dacl.begin(), dacl.end(), entry); it != std::wsregex_iterator(); ++it) {
        everyones += it->str();
    }
    return MutexWithSecurity(name, L"O:SYD:P" + everyones);
}

TEST(SingleInstance, TheSameUserIsRefusedWithTheOldMessageInAnySessionUntilTheFirstEnds) {
    const app::InstanceIdentity first = Identity(L"same user");
    MessageBoxRecord boxes;
    app::InstanceMarks running;
    ASSERT_TRUE(app::StartAsOnlyInstance(first, running));
    EXPECT_TRUE(running.global && running.local);
    EXPECT_TRUE(boxes.texts.empty());

    app::InstanceMarks second;
    EXPECT_FALSE(app::StartAsOnlyInstance(first, second));
    // Another session sees the machine-wide mark alone.
    EXPECT_FALSE(app::StartAsOnlyInstance(Identity(L"same user", app::CurrentUserSid(), 2), second));
    EXPECT_FALSE(second.global || second.local);
    EXPECT_EQ(boxes.texts, std::vector<std::wstring>(2, app::kAlreadyRunning));
    running = {};
    EXPECT_TRUE(app::StartAsOnlyInstance(first, second));
}

TEST(SingleInstance, AnotherUserIsToldWhoseMarlowickRuns) {
    wchar_t user[256]{};
    DWORD length = 256;
    ASSERT_TRUE(::GetUserNameW(user, &length));
    app::InstanceMarks running;
    ASSERT_TRUE(app::StartAsOnlyInstance(Identity(L"other user"), running));
    MessageBoxRecord boxes;
    app::InstanceMarks refused;
    EXPECT_FALSE(app::StartAsOnlyInstance(Identity(L"other user", kAnotherUser, 2), refused));
    EXPECT_FALSE(refused.global || refused.local);

    // Where the other user may not open the mark the way its own user, administrators and the system may.
    const app::InstanceIdentity other = Identity(L"as others meet it", kAnotherUser, 2);
    const fw::UniqueHandle mark = MarkAsOthersMeetIt(running.global.Get(), other.globalName);
    ASSERT_TRUE(mark);
    EXPECT_FALSE(fw::UniqueHandle(::OpenMutexW(MUTEX_ALL_ACCESS, FALSE, other.globalName.c_str())));
    EXPECT_FALSE(app::StartAsOnlyInstance(other, refused));
    EXPECT_EQ(boxes.texts, (std::vector<std::wstring>{L"Marlowick is already running for " + std::wstring(user) + L".",
                                                      L"Marlowick is already running for SYSTEM."}));
}

TEST(SingleInstance, AMarkThatDoesNotTellItsUserRefusesWithTheOldMessage) {
    MessageBoxRecord boxes;
    app::InstanceMarks refused;
    // An older version holds only the session's mark, made as it always did.
    const app::InstanceIdentity older = Identity(L"older version", kAnotherUser);
    fw::UniqueHandle olderMark(::CreateMutexW(nullptr, FALSE, older.localName.c_str()));
    ASSERT_TRUE(olderMark);
    EXPECT_FALSE(app::StartAsOnlyInstance(older, refused));
    EXPECT_FALSE(refused.global || refused.local);
    // A machine-wide mark that only the system may open.
    const app::InstanceIdentity closed = Identity(L"closed mark", kAnotherUser);
    const fw::UniqueHandle closedMark = MutexWithSecurity(closed.globalName, L"O:SYD:P(A;;0x1f0001;;;SY)");
    ASSERT_TRUE(closedMark);
    EXPECT_FALSE(app::StartAsOnlyInstance(closed, refused));
    EXPECT_EQ(boxes.texts, std::vector<std::wstring>(2, app::kAlreadyRunning));

    // The refused start took nothing: once the older version has ended, a start runs.
    olderMark.Reset();
    EXPECT_TRUE(app::StartAsOnlyInstance(Identity(L"older version"), refused));
}

}  // namespace
