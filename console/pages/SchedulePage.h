// "Schedule": when the Task Scheduler runs the scan job, and "Scan now".
#pragma once

#include "platform/ui/AfxWin.h"

class CProfileNode;

class CSchedulePage : public CPropertyPage {
public:
    explicit CSchedulePage(CProfileNode* node);

    BOOL OnInitDialog() override;
    BOOL OnApply() override;

private:
    void EnableControls();
    void Changed();
    void HoursChanged();
    // Copies the picker's part of the start into the one value both show.
    void PickerChanged(int id);
    void ShowStart();
    void ScanNow();

    CProfileNode* m_pNode;
    CEdit m_hours;
    CDateTimeCtrl m_date;
    CDateTimeCtrl m_time;
    SYSTEMTIME m_start{};
    bool m_filling = false;
};
