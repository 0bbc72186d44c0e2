/* Resource ids shared by the program and quvara.rc. Plain #defines so
   both the C++ compiler and windres can read this file. */
#ifndef QUVARA_RESOURCE_H
#define QUVARA_RESOURCE_H

/* Dialog */
#define IDD_CONFIG          101

/* Icons; IDI_PROGRAM has the lowest id so Explorer shows it for the exe. */
#define IDI_PROGRAM         102
#define IDI_NOTE            132
#define IDI_APP             137

/* Bitmaps of the dialog's header band */
#define IDB_HEADER_LOGO     124
#define IDB_HEADER_TITLE    134

/* Controls of IDD_CONFIG */
#define IDC_PRINTER_LIST    1000
#define IDC_SETUP           1001
#define IDC_TEST            1012
#define IDC_SHOW_REMOTE     1015
#define IDC_PRINTER_ADDRESS 1016
#define IDC_TEST_ADDRESS    1017

/* Some SDK headers already define it. */
#ifndef IDC_STATIC
#define IDC_STATIC          (-1)
#endif

#endif /* QUVARA_RESOURCE_H */
