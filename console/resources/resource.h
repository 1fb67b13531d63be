// Identifiers of the module's dialog templates and their controls.
#define IDD_NEW_PROFILE 130
#define IDC_PROFILE_NAME 1001

// Global settings pages and the "Add extension" dialog.
#define IDD_GENERAL_SETTINGS 1200
#define IDD_EXCLUDED_EXTENSIONS 1201
#define IDD_ADD_EXTENSION 1202
#define IDC_SMTP_SERVER 1210
#define IDC_SMTP_PORT 1211
#define IDC_DEFAULT_PORT 1212
#define IDC_EXTENSION_LIST 1220
#define IDC_ADD_EXTENSION 1221
#define IDC_REMOVE_EXTENSION 1222
#define IDC_IMPORT_EXTENSIONS 1223
#define IDC_EXPORT_EXTENSIONS 1224
#define IDC_EXTENSION 1230
