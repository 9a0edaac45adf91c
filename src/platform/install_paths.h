// Where an installed program finds its read-only files. Platform-internal (uses Qt).
#pragma once

#include <QString>

// <prefix>/share/kvor-rur-glint for a program in <prefix>/bin, when that folder exists;
// otherwise empty (the program runs from its build folder or a copied folder).
QString InstalledShareDir();
