// Identifiers of the module's dialog templates and their controls.
#define IDD_NEW_PROFILE 130
#define IDC_PROFILE_NAME 1001

// The monitored-files tree: "Select Scan Job" and the wait dialog.
#define IDD_SELECT_PROFILE_FILE 1100
#define IDD_SELECT_PROFILE_FOLDER 1101
#define IDD_SELECT_PROFILE_MULTI 1102
#define IDD_SET_FILES_WAIT 1103
#define IDC_SCOPE_QUESTION 1110
#define IDC_THIS_ONLY 1111
#define IDC_SUBTREE 1112
#define IDC_PROFILE_LIST 1113
#define IDC_ANY_PROFILE 1114
#define IDC_WAIT_ANIMATION 1115
#define IDC_WAIT_TEXT 1116
