// Every statement the console runs, as it runs and logs them. "%s" paths and
// names are quoted with QuoteSql first; "%d" are decimal identifiers.
#pragma once

// Scan jobs.
#define SQL_SELECT_PROFILE_LIST "SELECT PROFILE_ID, NAME, ENABLED  FROM PROFILES"
#define SQL_SELECT_PROFILES "SELECT * FROM PROFILES"
#define SQL_SELECT_NEW_PROFILE_ID "SELECT MAX(PROFILE_ID) AS ID_VAL FROM PROFILES"
#define SQL_DELETE_PROFILE "DELETE FROM PROFILES WHERE PROFILE_ID = %d"
#define SQL_RENAME_PROFILE "UPDATE PROFILES SET NAME='%s' WHERE PROFILE_ID=%d"
#define SQL_SET_PROFILE_ENABLED "UPDATE PROFILES SET ENABLED=%d WHERE PROFILE_ID=%d"

// Links between paths and scan jobs.
#define SQL_SELECT_LINKS "SELECT PROFILE_ID, PATH  FROM FILES_PROFILES_LNK WHERE (FLAG<>1)"
#define SQL_DELETE_VANISHED_LINK "DELETE * FROM FILES_PROFILES_LNK WHERE (PATH ='%s')"
#define SQL_INSERT_LINK "INSERT INTO FILES_PROFILES_LNK(PROFILE_ID, PATH, PATH_MD5) VALUES(%d, '%s', '%s')"
#define SQL_DELETE_LINK "DELETE * FROM FILES_PROFILES_LNK WHERE (PATH='%s')"
#define SQL_DELETE_ALL_LINKS "DELETE * FROM FILES_PROFILES_LNK"
#define SQL_FOLLOW_FOLDER_BELOW "UPDATE FILES_PROFILES_LNK SET FLAG=1 WHERE (INSTR(PATH,'%s')=1)"
#define SQL_SET_LINK_FOLLOWS "UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (PATH='%s')"
#define SQL_SET_SUBTREE_SAME_AS_PARENT                                                      \
    "UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (PATH='%s') OR ((PROFILE_ID=%d) " \
    "OR (PROFILE_ID=0)) AND (INSTR(PATH, '%s')=1)"
#define SQL_SET_SUBTREE_BELOW                                                               \
    "UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (PATH='%s') OR ((PROFILE_ID=%d) " \
    "OR (PROFILE_ID=0)) AND (INSTR(PATH, '%s')=1) AND (PATH<>'%s')"
#define SQL_SET_SUBTREE_ANY "UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (INSTR(PATH, '%s')=1)"
#define SQL_SET_SUBTREE_OF_PROFILE \
    "UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (INSTR(PATH, '%s')=1) AND (PROFILE_ID=%d)"
#define SQL_SET_BELOW_ANY \
    "UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (INSTR(PATH, '%s')=1) AND (PATH<>'%s')"
#define SQL_SET_BELOW_OF_PROFILE                                                                        \
    "UPDATE FILES_PROFILES_LNK SET PROFILE_ID = %d, FLAG = 1 WHERE (INSTR(PATH, '%s')=1) AND (PATH<>'%s') " \
    "AND (PROFILE_ID=%d)"

// Rows below a folder: explicit settings only (tree), or every row that
// does not follow its folder (page).
#define SQL_COUNT_EXCEPTIONS_TREE \
    "SELECT COUNT(*) AS A FROM FILES_PROFILES_LNK WHERE (INSTR(PATH, '%s')=1) AND (PATH <> '%s') AND (FLAG=0)"
#define SQL_COUNT_EXCEPTIONS_PAGE \
    "SELECT COUNT(*) AS A FROM FILES_PROFILES_LNK WHERE (INSTR(PATH, '%s')=1) AND (PATH <> '%s') AND (FLAG <> 1)"

// Rows left naming a deleted scan job: no scan job from now on.
#define SQL_RELEASE_PROFILE_LINKS "UPDATE FILES_PROFILES_LNK SET PROFILE_ID = 0 WHERE (PROFILE_ID=%d)"
