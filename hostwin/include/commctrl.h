/* hostwin: common controls (commctrl.h subset): the property sheet pages. */
#ifndef HOSTWIN_COMMCTRL_H
#define HOSTWIN_COMMCTRL_H

#include <windows.h>
#include <prsht.h>

#endif /* HOSTWIN_COMMCTRL_H */
