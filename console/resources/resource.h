// Identifiers of the module's dialog templates and their controls.
#define IDD_NEW_PROFILE 130
#define IDC_PROFILE_NAME 1001

// Version page, update-check wait dialog (1400-1499).
#define IDD_VERSION_PAGE 1400
#define IDD_UPDATE_WAIT 1401
#define IDC_VERSION_PRODUCT 1410
#define IDC_VERSION_PRODUCT2 1411
#define IDC_VERSION_DESCRIPTION 1412
#define IDC_VERSION_COPYRIGHT 1413
#define IDC_VERSION_NUMBER 1414
#define IDC_VERSION_BUILD 1415
#define IDC_CHECK_VERSION 1416
#define IDC_UPDATE_ANIMATION 1420
#define IDC_UPDATE_TEXT 1421
