// Identifiers shared by the resource script and the window's code.
#pragma once

#define IDI_QUORVANE 1

#define IDD_LOGIN 100
#define IDC_LOGIN_TITLE 101
#define IDC_LOGIN_HINT 102
#define IDC_LOGIN_USER 103
#define IDC_LOGIN_PASSWORD 104

#define IDD_ABOUT 200
#define IDC_ABOUT_PANEL 201
#define IDC_ABOUT_ICON 202
#define IDC_ABOUT_PRODUCT 203
#define IDC_ABOUT_VERSION 204
#define IDC_ABOUT_YEARS 205
#define IDC_ABOUT_COMMENTS 206
#define IDC_ABOUT_DONATION_TEXT 207
#define IDC_ABOUT_DONATION 208
#define IDC_ABOUT_URL 209
