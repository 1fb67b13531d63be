// "E-mail": sender, recipients, subject and importance of a scan job's alert
// mail.
#pragma once

#include "platform/ui/AfxWin.h"

class CProfileNode;

class CEmailPage : public CPropertyPage {
public:
    // The page keeps the console's notify handle of the sheet and gives it
    // back when it goes (the first page lives as long as the sheet).
    CEmailPage(CProfileNode* node, LONG_PTR notifyHandle);
    ~CEmailPage() override;

    BOOL OnInitDialog() override;
    BOOL OnApply() override;

private:
    void Changed();
    void Refuse(int focusId);

    CProfileNode* m_pNode;
    LONG_PTR m_notifyHandle;
    CSpinButtonCtrl m_spin;
    // Filling the controls sends change notices that are not the user's.
    bool m_filling = false;
};

// The statement that stores the page's values.
std::string EmailUpdateStatement(LONG id, const std::string& importance, const std::string& from,
                                 const std::string& to, const std::string& subject);
