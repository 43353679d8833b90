/* KtzResultText compiled as C: the public header serves C applications. */
#include <ktz3649.h>

char *ResultTextFromC(DWORD result, char *buffer, size_t size) {
    return KtzResultText(result, buffer, size);
}
