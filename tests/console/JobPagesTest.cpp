// The scan job's property pages driven through the window model as a user
// would: typing, clicking, Apply; then what reached the database and the
// Task Scheduler's work item.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <future>

#include "console/nodes/ProfileNode.h"
#include "console/nodes/ProfilesNode.h"
#include "console/pages/EmailAddress.h"
#include "console/pages/EmailPage.h"
#include "console/resources/resource.h"
#include "console/snapin/ComponentData.h"
#include "platform/library/Library.h"
#include "platform/taskscheduler/RunTimes.h"
#include "platform/ui/AfxWin.h"
#include "platform/ui/Display.h"
#include "platform/ui/UiThread.h"
#include "tests/console/ConsoleFixture.h"

namespace {

namespace fs = std::filesystem;
using kv::ui::Input;
using kv::ui::InputType;

enum Page { EMAIL = 0, SCHEDULE = 1, MONFILES = 2 };

// The console's side of CreatePropertyPages: the pages go into a sheet.
class SheetCallback final : public IPropertySheetCallback {
public:
    explicit SheetCallback(CPropertySheet* sheet) : m_sheet(sheet) {}
    STDMETHODIMP QueryInterface(REFIID, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 1; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP AddPage(HPROPSHEETPAGE page) override {
        m_sheet->AddPage(page);
        return S_OK;
    }
    STDMETHODIMP RemovePage(HPROPSHEETPAGE) override { return E_NOTIMPL; }

private:
    CPropertySheet* m_sheet;
};

class JobPages : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(LoadLibraryA(kvtest::BinPath("OrvConsole.so").c_str()), nullptr);
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        m_boxes = f.root.Path() + "/boxes.log";
        ::setenv("KESTRAVA_MSGBOX_LOG", m_boxes.c_str(), 1);
        f.db->Execute("DELETE FROM PROFILES");
        f.db->Execute("INSERT INTO PROFILES (PROFILE_ID, NAME, MAILTO, MAILFROM, SUBJECT, PRIORITY, ENABLED) "
                      "VALUES (5, 'Nightly', 'ops@example.org', 'tsl@example.org', 'Alert', 3, 0)");
        data = new CComponentData();
        data->AddRef();
    }
    void TearDown() override {
        ui.Invoke([this] {
            if (sheet != nullptr) sheet->PressButton(PSBTN_CANCEL);
        });
        ui.Invoke([this] { delete node; });
        ui.Stop();
        data->Release();
        ::unsetenv("KESTRAVA_MSGBOX_LOG");
    }

    CProfileRecord Record() {
        CProfileRecord record;
        record.id = 5;
        record.name = "Nightly";
        record.mailTo = "ops@example.org";
        record.mailFrom = "tsl@example.org";
        record.subject = "Alert";
        record.priority = 3;
        return record;
    }

    // Opens the node's sheet (building the node, as the scan jobs node does)
    // with the page shown.
    void Open(Page page) {
        ui.Invoke([this, page] {
            if (node == nullptr) node = new CProfileNode(data, nullptr, Record());
            sheet = new CPropertySheet("Nightly");
            SheetCallback callback(sheet);
            ASSERT_EQ(node->CreatePropertyPages(&callback, 0), S_OK);
            ASSERT_EQ(sheet->GetPageCount(), 3);
            sheet->SetClosedHandler([this](CPropertySheet* closed) {
                if (closed == sheet) sheet = nullptr;
                delete closed;
            });
            sheet->Create();
            sheet->SetActivePage(page);
        });
    }
    void Close() {
        ui.Invoke([this] {
            if (sheet != nullptr) sheet->PressButton(PSBTN_CANCEL);
        });
        ASSERT_EQ(sheet, nullptr);
    }
    uint64_t Control(Page page, int id) {
        uint64_t handle = 0;
        ui.Invoke([&] { handle = kv::ui::FromHwnd(sheet->GetPage(page)->GetDlgItem(id)->GetSafeHwnd()); });
        return handle;
    }
    // Input is posted to the UI thread's queue, behind which a posted call
    // runs only once the input was handled (a sent call would overtake it).
    void Send(Input input) {
        ASSERT_TRUE(kv::ui::PostInput(input));
        auto done = std::make_shared<std::promise<void>>();
        std::future<void> handled = done->get_future();
        ui.Post([done] { done->set_value(); });
        handled.wait();
    }
    void Type(Page page, int id, const std::string& text) {
        Input input;
        input.type = InputType::SetText;
        input.target = Control(page, id);
        input.text = text;
        Send(input);
    }
    void Click(Page page, int id) {
        Input input;
        input.type = InputType::Click;
        input.target = Control(page, id);
        Send(input);
    }
    void PickTime(Page page, int id, const SYSTEMTIME& time) {
        Input input;
        input.type = InputType::SetTime;
        input.target = Control(page, id);
        input.time = time;
        Send(input);
    }
    std::string Text(Page page, int id) {
        std::string text;
        ui.Invoke([&] { sheet->GetPage(page)->GetDlgItemText(id, text); });
        return text;
    }
    bool Enabled(Page page, int id) {
        bool enabled = false;
        ui.Invoke([&] { enabled = sheet->GetPage(page)->GetDlgItem(id)->IsWindowEnabled() != FALSE; });
        return enabled;
    }
    bool Checked(Page page, int id) {
        bool checked = false;
        ui.Invoke([&] { checked = sheet->GetPage(page)->IsDlgButtonChecked(id) == BST_CHECKED; });
        return checked;
    }
    bool Focused(Page page, int id) {
        const uint64_t control = Control(page, id);
        uint64_t focus = 0;
        ui.Invoke([&] { focus = kv::ui::FromHwnd(::GetFocus()); });
        return focus == control;
    }
    // TRUE when the sheet took the Apply.
    bool Apply() {
        bool applied = false;
        ui.Invoke([&] {
            sheet->PressButton(PSBTN_APPLYNOW);
            applied = !sheet->IsApplyEnabled();
        });
        return applied;
    }
    void SetStart(WORD year, WORD month, WORD day, WORD hour, WORD minute) {
        SYSTEMTIME t{};
        t.wYear = year;
        t.wMonth = month;
        t.wDay = day;
        t.wHour = hour;
        t.wMinute = minute;
        PickTime(SCHEDULE, IDC_START_DATE, t);
        PickTime(SCHEDULE, IDC_START_TIME, t);
    }
    std::string Boxes() { return fs::exists(m_boxes) ? kvtest::ReadTextFile(m_boxes) : std::string(); }
    std::string Column(const std::string& column) {
        return f.db->Scalar("SELECT " + column + " FROM PROFILES WHERE PROFILE_ID = 5");
    }
    std::string WorkItemFile() { return f.root.Path() + "/tasks/Tsl3 Scan 5.job"; }
    // The first trigger of the job's work item; false when it has none.
    bool ReadTrigger(TASK_TRIGGER& trigger, std::string* application = nullptr, std::string* parameters = nullptr,
                     DWORD* flags = nullptr) {
        ITaskScheduler* scheduler = nullptr;
        if (FAILED(CreateTaskScheduler(&scheduler))) return false;
        ITask* task = nullptr;
        bool found = SUCCEEDED(scheduler->Activate("Tsl3 Scan 5", &task));
        scheduler->Release();
        if (!found) return false;
        ITaskTrigger* first = nullptr;
        found = SUCCEEDED(task->GetTrigger(0, &first)) && SUCCEEDED(first->GetTrigger(&trigger));
        if (first != nullptr) first->Release();
        if (application != nullptr) task->GetApplicationName(*application);
        if (parameters != nullptr) task->GetParameters(*parameters);
        if (flags != nullptr) task->GetFlags(flags);
        task->Release();
        return found;
    }
    static time_t At(int year, int month, int day, int hour, int minute) {
        struct tm t {};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        return ::timegm(&t);
    }

    kvtest::ConsoleFixture f;
    kv::ui::UiThread ui;
    CComponentData* data = nullptr;
    CProfileNode* node = nullptr;
    CPropertySheet* sheet = nullptr;
    std::string m_boxes;
};

TEST(EmailAddressCheck, SenderIsExactlyOneAddress) {
    EXPECT_TRUE(IsSingleEmailAddress("tsl@example.org"));
    EXPECT_TRUE(IsSingleEmailAddress("  tsl@mail-1.example.org\t"));
    EXPECT_TRUE(IsSingleEmailAddress("\"Tessellon Alerts\"@example.org"));
    EXPECT_TRUE(IsSingleEmailAddress("o'brien@example.org"));
    EXPECT_FALSE(IsSingleEmailAddress(""));
    EXPECT_FALSE(IsSingleEmailAddress("   "));
    EXPECT_FALSE(IsSingleEmailAddress("a@example.org, b@example.org"));
    EXPECT_FALSE(IsSingleEmailAddress("a@example.org;b@example.org"));
    EXPECT_FALSE(IsSingleEmailAddress("a@example.org b@example.org"));
    EXPECT_FALSE(IsSingleEmailAddress("b\xc3\xa9@example.org"));  // above 127
    EXPECT_FALSE(IsSingleEmailAddress("a@ex\xc3\xa4mple.org"));
    EXPECT_FALSE(IsSingleEmailAddress("@example.org"));
    EXPECT_FALSE(IsSingleEmailAddress("a@"));
    EXPECT_FALSE(IsSingleEmailAddress("a@-example.org"));
    EXPECT_FALSE(IsSingleEmailAddress("a@example-.org"));
    EXPECT_FALSE(IsSingleEmailAddress("a@example..org"));
    EXPECT_FALSE(IsSingleEmailAddress("\"\"@example.org"));
    EXPECT_FALSE(IsSingleEmailAddress("a\x01@example.org"));
}

TEST(EmailPageStatement, KeepsQuotesAsTyped) {
    EXPECT_EQ(EmailUpdateStatement(5, "3", "a@b.org", "o'brien@b.org;", "Mo's"),
              "UPDATE PROFILES SET PRIORITY=3, MAILFROM='a@b.org', MAILTO='o''brien@b.org;', SUBJECT='Mo''s' "
              "WHERE PROFILE_ID = 5");
}

TEST(EmailAddressCheck, RecipientsAreSeparatedBySemicolonsOrCommas) {
    EXPECT_TRUE(IsEmailAddressList(";"));
    EXPECT_TRUE(IsEmailAddressList("a@example.org"));
    EXPECT_TRUE(IsEmailAddressList(" a@example.org ; b@example.org,c@example.org;;"));
    EXPECT_FALSE(IsEmailAddressList("a@example.org b@example.org"));
    EXPECT_FALSE(IsEmailAddressList("a@example.org;nobody"));
    EXPECT_FALSE(IsEmailAddressList("a@example.org;\xc3\xa9@example.org"));
}

TEST_F(JobPages, EmailPageShowsTheRecordWithTheImportanceHidden) {
    Open(EMAIL);
    EXPECT_EQ(Text(EMAIL, IDC_MAIL_FROM), "tsl@example.org");
    EXPECT_EQ(Text(EMAIL, IDC_MAIL_TO), "ops@example.org");
    EXPECT_EQ(Text(EMAIL, IDC_MAIL_SUBJECT), "Alert");
    EXPECT_EQ(Text(EMAIL, IDC_IMPORTANCE), "3");
    bool hidden = false;
    int lower = 0, upper = 0;
    ui.Invoke([&] {
        CPropertyPage* page = sheet->GetPage(EMAIL);
        hidden = !page->GetDlgItem(IDC_IMPORTANCE)->IsWindowVisible() &&
                 !page->GetDlgItem(IDC_IMPORTANCE_SPIN)->IsWindowVisible() &&
                 !page->GetDlgItem(IDC_IMPORTANCE_LABEL)->IsWindowVisible();
        page->GetDlgItem(IDC_IMPORTANCE_SPIN)->SendMessage(UDM_GETRANGE32, reinterpret_cast<WPARAM>(&lower),
                                                           reinterpret_cast<LPARAM>(&upper));
    });
    EXPECT_TRUE(hidden);
    EXPECT_EQ(lower, 1);
    EXPECT_EQ(upper, 5);
    // Opening the page is no change of the user's.
    ui.Invoke([&] { EXPECT_FALSE(sheet->IsApplyEnabled()); });
}

TEST_F(JobPages, EmailApplyStoresTheFieldsAsTypedAndSetsTheDefaults) {
    Open(EMAIL);
    Type(EMAIL, IDC_MAIL_TO, ";");
    Type(EMAIL, IDC_MAIL_SUBJECT, "Mo's alert'); DELETE FROM PROFILES; --");
    ASSERT_TRUE(Apply());
    EXPECT_EQ(Column("MAILTO"), ";");
    EXPECT_EQ(Column("MAILFROM"), "tsl@example.org");
    EXPECT_EQ(Column("SUBJECT"), "Mo's alert'); DELETE FROM PROFILES; --");
    EXPECT_EQ(Column("PRIORITY"), "3");
    EXPECT_EQ(f.db->Scalar("SELECT COUNT(*) FROM PROFILES"), "1");
    EXPECT_EQ(node->m_record.mailTo, ";");
    EXPECT_EQ(g_strDefaultMailTo, ";");
    EXPECT_EQ(g_strDefaultMailFrom, "tsl@example.org");
    EXPECT_EQ(Boxes(), "");
    EXPECT_FALSE(f.LogHolds("Error in CEmailPage::OnApply"));
}

TEST_F(JobPages, EmailApplyRefusesBadAddressesWithTheFocusOnTheField) {
    Open(EMAIL);
    Type(EMAIL, IDC_MAIL_TO, "");
    EXPECT_FALSE(Apply());
    EXPECT_TRUE(Focused(EMAIL, IDC_MAIL_TO));
    EXPECT_NE(Boxes().find("Tessellon 3 Configuration: Please enter valid e-mail addresses"), std::string::npos)
        << Boxes();

    Type(EMAIL, IDC_MAIL_TO, "ops@example.org");
    Type(EMAIL, IDC_MAIL_FROM, "a@example.org, b@example.org");
    EXPECT_FALSE(Apply());
    EXPECT_TRUE(Focused(EMAIL, IDC_MAIL_FROM));
    Type(EMAIL, IDC_MAIL_FROM, "j\xc3\xb6rg@example.org");
    EXPECT_FALSE(Apply());
    EXPECT_EQ(Column("MAILFROM"), "tsl@example.org");
    EXPECT_EQ(Column("MAILTO"), "ops@example.org");

    // An importance that is no number of 1 to 255 is refused without a word.
    Type(EMAIL, IDC_MAIL_FROM, "tsl@example.org");
    const std::string before = Boxes();
    ui.Invoke([&] { sheet->GetPage(EMAIL)->SetDlgItemText(IDC_IMPORTANCE, "0"); });
    EXPECT_FALSE(Apply());
    ui.Invoke([&] { sheet->GetPage(EMAIL)->SetDlgItemText(IDC_IMPORTANCE, "1 OR 1=1"); });
    EXPECT_FALSE(Apply());
    EXPECT_EQ(Boxes(), before);
    ui.Invoke([&] { sheet->GetPage(EMAIL)->SetDlgItemText(IDC_IMPORTANCE, "5"); });
    EXPECT_TRUE(Apply());
    EXPECT_EQ(Column("PRIORITY"), "5");
}

TEST_F(JobPages, NewJobStartsUnscheduledWithTheLauncherAsItsApplication) {
    Open(SCHEDULE);
    EXPECT_TRUE(Checked(SCHEDULE, IDC_NOT_SCHEDULED));
    EXPECT_EQ(Text(SCHEDULE, IDC_HOURS), "2");
    for (int id : {IDC_EVERY, IDC_DAILY, IDC_WEEKLY, IDC_MONTHLY, IDC_START_LABEL, IDC_START_DATE, IDC_START_TIME,
                   IDC_HOURS, IDC_HOURS_LABEL})
        EXPECT_FALSE(Enabled(SCHEDULE, id)) << id;
    EXPECT_TRUE(Enabled(SCHEDULE, IDC_SCAN_NOW));
    EXPECT_EQ(node->m_task.m_name, "Tsl3 Scan 5");
    EXPECT_EQ(node->m_task.m_parameters, "5");
    EXPECT_EQ(node->m_task.m_kind, static_cast<DWORD>(SCHEDULE_NONE));
    const std::string dataPath = f.root.GetString("DATAPATH");
    EXPECT_EQ(node->m_task.m_application, dataPath.substr(0, dataPath.size() - 4) + "KvLaunch.exe");

    Click(SCHEDULE, IDC_SCHEDULED);
    EXPECT_TRUE(Enabled(SCHEDULE, IDC_DAILY));
    EXPECT_TRUE(Enabled(SCHEDULE, IDC_START_DATE));
    EXPECT_FALSE(Enabled(SCHEDULE, IDC_HOURS));
    Click(SCHEDULE, IDC_EVERY);
    EXPECT_TRUE(Checked(SCHEDULE, IDC_EVERY));
    EXPECT_FALSE(Checked(SCHEDULE, IDC_DAILY));
    EXPECT_TRUE(Enabled(SCHEDULE, IDC_HOURS));
    EXPECT_TRUE(Enabled(SCHEDULE, IDC_HOURS_LABEL));
    // Two characters at most, and "0" empties the box.
    Type(SCHEDULE, IDC_HOURS, "0");
    EXPECT_EQ(Text(SCHEDULE, IDC_HOURS), "");
    Type(SCHEDULE, IDC_HOURS, "123");
    EXPECT_EQ(Text(SCHEDULE, IDC_HOURS), "12");
}

TEST_F(JobPages, EveryThreeHoursRunsAroundTheClockAndReadsBack) {
    Open(SCHEDULE);
    Click(SCHEDULE, IDC_SCHEDULED);
    Click(SCHEDULE, IDC_EVERY);
    Type(SCHEDULE, IDC_HOURS, "3");
    SetStart(2026, 12, 9, 8, 0);
    ASSERT_TRUE(Apply());

    TASK_TRIGGER t{};
    std::string application, parameters;
    DWORD flags = 0;
    ASSERT_TRUE(ReadTrigger(t, &application, &parameters, &flags));
    EXPECT_EQ(t.TriggerType, TASK_TIME_TRIGGER_DAILY);
    EXPECT_EQ(t.Type.Daily.DaysInterval, 1);
    EXPECT_EQ(t.wBeginYear, 2026);
    EXPECT_EQ(t.wBeginMonth, 12);
    EXPECT_EQ(t.wBeginDay, 9);
    EXPECT_EQ(t.wStartHour, 8);
    EXPECT_EQ(t.wStartMinute, 0);
    EXPECT_EQ(t.MinutesInterval, 180u);
    EXPECT_EQ(t.MinutesDuration, 1440u);
    EXPECT_EQ(parameters, "5");
    EXPECT_EQ(application, node->m_task.m_application);
    EXPECT_EQ(flags, 0xc1u);

    // Every three hours all day, not just twice.
    using kv::platform::taskscheduler::NextTriggerRun;
    time_t run = At(2026, 12, 9, 7, 59);
    std::vector<int> hours;
    while ((run = NextTriggerRun(t, run)) != 0 && run < At(2026, 12, 10, 8, 0)) hours.push_back(gmtime(&run)->tm_hour);
    EXPECT_EQ(hours, (std::vector<int>{8, 11, 14, 17, 20, 23, 2, 5}));

    EXPECT_EQ(Column("ENABLED"), "1");
    EXPECT_TRUE(node->m_record.enabled);
    EXPECT_EQ(node->Image(), IMAGE_PROFILE_ENABLED);
    EXPECT_EQ(node->ResultColumnText(2), "Enabled");

    Close();
    Open(SCHEDULE);
    EXPECT_TRUE(Checked(SCHEDULE, IDC_SCHEDULED));
    EXPECT_TRUE(Checked(SCHEDULE, IDC_EVERY));
    EXPECT_EQ(Text(SCHEDULE, IDC_HOURS), "3");
    SYSTEMTIME date{}, time{};
    ui.Invoke([&] {
        static_cast<CDateTimeCtrl*>(sheet->GetPage(SCHEDULE)->GetDlgItem(IDC_START_DATE))->GetTime(&date);
        static_cast<CDateTimeCtrl*>(sheet->GetPage(SCHEDULE)->GetDlgItem(IDC_START_TIME))->GetTime(&time);
    });
    EXPECT_EQ(date.wYear, 2026);
    EXPECT_EQ(date.wMonth, 12);
    EXPECT_EQ(date.wDay, 9);
    EXPECT_EQ(time.wHour, 8);
    EXPECT_EQ(time.wMinute, 0);
}

TEST_F(JobPages, WeeklyKeepsTheWeekdayAndMonthlyTheDayOfTheMonth) {
    using kv::platform::taskscheduler::NextTriggerRun;
    Open(SCHEDULE);
    Click(SCHEDULE, IDC_SCHEDULED);
    Click(SCHEDULE, IDC_WEEKLY);
    SetStart(2026, 12, 9, 22, 15);  // a Wednesday
    ASSERT_TRUE(Apply());
    TASK_TRIGGER t{};
    ASSERT_TRUE(ReadTrigger(t));
    EXPECT_EQ(t.TriggerType, TASK_TIME_TRIGGER_WEEKLY);
    EXPECT_EQ(t.Type.Weekly.WeeksInterval, 1);
    EXPECT_EQ(t.Type.Weekly.rgfDaysOfTheWeek, TASK_WEDNESDAY);
    time_t run = At(2026, 12, 1, 0, 0);
    for (int i = 0; i < 5; ++i) {
        run = NextTriggerRun(t, run);
        ASSERT_NE(run, 0);
        EXPECT_EQ(gmtime(&run)->tm_wday, 3);
        EXPECT_EQ(gmtime(&run)->tm_hour, 22);
    }
    Close();
    Open(SCHEDULE);
    EXPECT_TRUE(Checked(SCHEDULE, IDC_WEEKLY));
    EXPECT_FALSE(Checked(SCHEDULE, IDC_DAILY));

    Click(SCHEDULE, IDC_MONTHLY);
    SetStart(2026, 12, 31, 6, 30);
    ASSERT_TRUE(Apply());
    ASSERT_TRUE(ReadTrigger(t));
    EXPECT_EQ(t.TriggerType, TASK_TIME_TRIGGER_MONTHLYDATE);
    EXPECT_EQ(t.Type.MonthlyDate.rgfDays, 1u << 30);
    EXPECT_EQ(t.Type.MonthlyDate.rgfMonths, TASK_ALL_MONTHS);
    run = At(2026, 12, 1, 0, 0);
    std::vector<int> months;
    for (int i = 0; i < 4; ++i) {
        run = NextTriggerRun(t, run);
        ASSERT_NE(run, 0);
        EXPECT_EQ(gmtime(&run)->tm_mday, 31);
        months.push_back(gmtime(&run)->tm_mon + 1);
    }
    EXPECT_EQ(months, (std::vector<int>{12, 1, 3, 5}));  // no February, no April

    Close();
    Open(SCHEDULE);
    EXPECT_TRUE(Checked(SCHEDULE, IDC_MONTHLY));
    EXPECT_FALSE(Enabled(SCHEDULE, IDC_HOURS));
}

TEST_F(JobPages, NotScheduledRemovesTheWorkItemAndDisablesTheJob) {
    Open(SCHEDULE);
    Click(SCHEDULE, IDC_SCHEDULED);
    ASSERT_TRUE(Apply());
    ASSERT_TRUE(fs::exists(WorkItemFile()));
    EXPECT_EQ(Column("ENABLED"), "1");

    Click(SCHEDULE, IDC_NOT_SCHEDULED);
    ASSERT_TRUE(Apply());
    EXPECT_FALSE(fs::exists(WorkItemFile()));
    EXPECT_EQ(Column("ENABLED"), "0");
    EXPECT_FALSE(node->m_record.enabled);
    EXPECT_EQ(node->Image(), IMAGE_PROFILE_DISABLED);
    EXPECT_EQ(node->ResultColumnText(2), "Disabled");
}

TEST_F(JobPages, EveryHoursMustBeOneToTwentyThree) {
    Open(SCHEDULE);
    Click(SCHEDULE, IDC_SCHEDULED);
    Click(SCHEDULE, IDC_EVERY);
    for (const char* hours : {"", "24", "99"}) {
        Type(SCHEDULE, IDC_HOURS, hours);
        EXPECT_FALSE(Apply()) << hours;
        EXPECT_TRUE(Focused(SCHEDULE, IDC_HOURS));
        EXPECT_FALSE(fs::exists(WorkItemFile()));
    }
    EXPECT_NE(Boxes().find("Please enter the number of hours between two checks."), std::string::npos);
    EXPECT_EQ(Column("ENABLED"), "0");
    Type(SCHEDULE, IDC_HOURS, "23");
    EXPECT_TRUE(Apply());
    EXPECT_TRUE(fs::exists(WorkItemFile()));
}

TEST_F(JobPages, ThePickersShowOneStart) {
    Open(SCHEDULE);
    Click(SCHEDULE, IDC_SCHEDULED);
    SYSTEMTIME picked{};
    picked.wYear = 2027;
    picked.wMonth = 2;
    picked.wDay = 28;
    picked.wHour = 1;  // the date picker's time is not the start's
    PickTime(SCHEDULE, IDC_START_DATE, picked);
    picked = SYSTEMTIME{};
    picked.wYear = 2001;  // nor is the time picker's date
    picked.wMonth = 1;
    picked.wDay = 1;
    picked.wHour = 17;
    picked.wMinute = 45;
    PickTime(SCHEDULE, IDC_START_TIME, picked);
    SYSTEMTIME date{}, time{};
    ui.Invoke([&] {
        static_cast<CDateTimeCtrl*>(sheet->GetPage(SCHEDULE)->GetDlgItem(IDC_START_DATE))->GetTime(&date);
        static_cast<CDateTimeCtrl*>(sheet->GetPage(SCHEDULE)->GetDlgItem(IDC_START_TIME))->GetTime(&time);
    });
    for (const SYSTEMTIME& shown : {date, time}) {
        EXPECT_EQ(shown.wYear, 2027);
        EXPECT_EQ(shown.wMonth, 2);
        EXPECT_EQ(shown.wDay, 28);
        EXPECT_EQ(shown.wHour, 17);
        EXPECT_EQ(shown.wMinute, 45);
    }
}

TEST_F(JobPages, ScanNowStartsTheJobsCommandLineWithoutWaiting) {
    const std::string out = f.root.DriveC() + "/scan-now.txt";
    const std::string script = f.root.DriveC() + "/launch.sh";
    kvtest::WriteTextFile(script, "#!/bin/sh\nsleep 1\necho \"$1\" > " + out + ".tmp && mv " + out + ".tmp " + out + "\n");
    fs::permissions(script, fs::perms::owner_all);
    Open(SCHEDULE);
    node->m_task.m_application = "C:\\launch.sh";
    Click(SCHEDULE, IDC_SCAN_NOW);
    EXPECT_FALSE(fs::exists(out));  // the click came back before the program ended
    ASSERT_TRUE(kvtest::WaitForFile(out, 10));
    EXPECT_EQ(kvtest::ReadTextFile(out), "5\n");
}

TEST_F(JobPages, MonitoredFilesStopAtFortySortedAndEnableTheReport) {
    const std::string base = f.root.DriveC() + "/watched";
    fs::create_directories(base + "/sub");
    for (int i = 0; i < 30; ++i) kvtest::WriteTextFile(base + "/f" + std::to_string(100 + i) + ".txt", "x");
    for (int i = 0; i < 30; ++i) kvtest::WriteTextFile(base + "/sub/g" + std::to_string(100 + i) + ".txt", "x");
    fs::create_directories(f.root.DriveC() + "/elsewhere");
    kvtest::WriteTextFile(f.root.DriveC() + "/elsewhere/e.txt", "x");
    f.db->Execute("INSERT INTO FILES_PROFILES_LNK (PROFILE_ID, PATH, PATH_MD5, FLAG) VALUES "
                  "(5, 'C:\\watched\\', 'x', 0), (0, 'C:\\', 'x', 0)");
    Open(MONFILES);
    std::vector<std::string> items;
    bool showAll = false;
    ui.Invoke([&] {
        auto* list = static_cast<CListCtrl*>(sheet->GetPage(MONFILES)->GetDlgItem(IDC_MONITORED_LIST));
        for (int i = 0; i < list->GetItemCount(); ++i) items.push_back(list->GetItemText(i, 0));
        showAll = sheet->GetPage(MONFILES)->GetDlgItem(IDC_SHOW_ALL)->IsWindowEnabled() != FALSE;
    });
    ASSERT_EQ(items.size(), 40u);
    EXPECT_TRUE(std::is_sorted(items.begin(), items.end(),
                               [](const std::string& a, const std::string& b) { return strcasecmp(a.c_str(), b.c_str()) < 0; }));
    for (const std::string& item : items) EXPECT_EQ(item.rfind("C:\\watched\\", 0), 0u) << item;
    EXPECT_TRUE(showAll);
    EXPECT_TRUE(f.LogHolds("Getting the link items..."));

    // A job that covers nothing lists nothing and offers no report.
    f.db->Execute("UPDATE FILES_PROFILES_LNK SET PROFILE_ID = 0");
    ui.Invoke([&] { sheet->SetActivePage(EMAIL); });
    ui.Invoke([&] { sheet->SetActivePage(MONFILES); });
    ui.Invoke([&] {
        auto* list = static_cast<CListCtrl*>(sheet->GetPage(MONFILES)->GetDlgItem(IDC_MONITORED_LIST));
        EXPECT_EQ(list->GetItemCount(), 0);
        EXPECT_FALSE(sheet->GetPage(MONFILES)->GetDlgItem(IDC_SHOW_ALL)->IsWindowEnabled());
    });
}

TEST_F(JobPages, DisablingTheJobDeletesItsWorkItem) {
    Open(SCHEDULE);
    Click(SCHEDULE, IDC_SCHEDULED);
    ASSERT_TRUE(Apply());
    ASSERT_TRUE(fs::exists(WorkItemFile()));
    // A second node for the same job (the console built anew) finds it.
    ui.Invoke([&] {
        CProfileNode again(data, nullptr, Record());
        EXPECT_EQ(again.m_task.m_kind, static_cast<DWORD>(SCHEDULE_DAILY));
        again.m_record.enabled = true;
        again.ToggleEnabled();
    });
    EXPECT_FALSE(fs::exists(WorkItemFile()));
    EXPECT_EQ(Column("ENABLED"), "0");
}

TEST_F(JobPages, AWorkItemThatCannotBeWrittenLeavesTheJobDisabled) {
    fs::remove_all(f.root.Path() + "/tasks");
    kvtest::WriteTextFile(f.root.Path() + "/tasks", "not a folder");
    Open(SCHEDULE);
    Click(SCHEDULE, IDC_SCHEDULED);
    EXPECT_TRUE(Apply());  // no message: the page closes as it would
    EXPECT_EQ(Column("ENABLED"), "0");
    EXPECT_FALSE(node->m_record.enabled);
    EXPECT_TRUE(f.LogHolds("The scheduled task Tsl3 Scan 5 could not be saved"));
}

TEST_F(JobPages, DeletingTheJobDeletesItsWorkItem) {
    Open(SCHEDULE);
    Click(SCHEDULE, IDC_SCHEDULED);
    ASSERT_TRUE(Apply());
    Close();
    ASSERT_TRUE(fs::exists(WorkItemFile()));
    ui.Invoke([&] {
        CProfilesNode jobs(data);
        node->m_pParent = &jobs;
        jobs.m_children.push_back(node);
        EXPECT_EQ(node->DeleteProfile(nullptr), S_OK);  // the question is answered Yes
        node = nullptr;                                 // the scan jobs node deleted it
    });
    EXPECT_FALSE(fs::exists(WorkItemFile()));
    EXPECT_EQ(f.db->Scalar("SELECT COUNT(*) FROM PROFILES"), "0") << f.LogText() << Boxes();
}

}  // namespace
