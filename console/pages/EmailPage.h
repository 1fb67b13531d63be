// "E-mail": sender, recipients, subject and importance of a scan job's alert
// mail.
#pragma once

#include "platform/ui/AfxWin.h"

class CProfileNode;

class CEmailPage : public CPropertyPage {
public:
    explicit CEmailPage(CProfileNode* node);

    BOOL OnInitDialog() override;
    BOOL OnApply() override;

private:
    void Changed();
    void Refuse(int focusId);

    CProfileNode* m_pNode;
    CSpinButtonCtrl m_spin;
    // Filling the controls sends change notices that are not the user's.
    bool m_filling = false;
};

// The statement that stores the page's values.
std::string EmailUpdateStatement(LONG id, const std::string& importance, const std::string& from,
                                 const std::string& to, const std::string& subject);
