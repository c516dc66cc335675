// Stand-in until the hidraw library lands: no remote can be found.
#include "remote/tiny_hid_dll.h"

int OpenHidHandle(int, int) {
    return -1;
}
int WriteReport(int, unsigned char *, unsigned int *) {
    return -1;
}
int ReadReport(int, unsigned char *, unsigned int *) {
    return -1;
}
void CloseHidHandle(int) {}
