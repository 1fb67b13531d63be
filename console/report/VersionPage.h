// "Application version": the product's name, description, provider,
// version and build, and the check for a newer build.
#pragma once

#include "platform/ui/afx/PropertySheet.h"
#include "platform/win/WinTypes.h"

class CVersionPage : public CPropertyPage {
public:
    CVersionPage();

    // Build as read when the page opened; m_bBuildRead FALSE when it could not be.
    DWORD m_dwBuild = 0;
    BOOL m_bBuildRead = FALSE;

protected:
    BOOL OnInitDialog() override;
    void OnCheckVersion();
};

// Build (REG_DWORD) under the product root key; FALSE when it cannot be read.
BOOL ReadInstalledBuild(DWORD& build);
