// String ids of the LoadResString test program and its language module.
#define IDS_TEST_LONG 100      // 600 characters in the program
#define IDS_TEST_BOTH 101      // in the program and the language module
#define IDS_TEST_PROGRAM 102   // only in the program
#define IDS_TEST_EMPTY_LANG 103  // program text; the language module's is empty
#define IDS_TEST_NOWHERE 104   // in neither
#define IDS_TEST_FORMAT_SAME 105   // a format the language module keeps
#define IDS_TEST_FORMAT_OTHER 106  // a format whose translation reads other arguments
#define IDS_TEST_THREADS 200   // 200..263: one text per id for the thread test
