// The logo area of the main panel: the logo bitmap and the info texts.
#pragma once

// Draws the logo area; mode 2 is the program's layout.
void ShowLogo(int mode);
// Creates one info text on the main panel.
void ShowInfoText(int bgColor, int textColor, const char *text, int left, int top, int pointSize);

// The maker's lines shown in the logo area.
extern const char LOGO_COMPANY[];
extern const char LOGO_PHONE[];
extern const char LOGO_WEB[];
