// "General": the SMTP server and port through which the engine mails its
// alerts.
#pragma once

#include "platform/ui/afx/PropertySheet.h"

// The longest server name the page takes (a DNS name holds at most 253).
#define SMTP_SERVER_CHARS 255

class CGenSetPage : public CPropertyPage {
public:
    CGenSetPage();

    BOOL OnApply() override;

protected:
    BOOL OnInitDialog() override;

private:
    // Shows the refusal and puts the focus on the control.
    BOOL Refuse(UINT textId, int controlId);
    bool m_loading = false;
};
