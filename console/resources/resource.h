// Identifiers of the module's dialog templates and their controls.
#define IDD_NEW_PROFILE 130
#define IDC_PROFILE_NAME 1001
