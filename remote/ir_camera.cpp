#include "remote/ir_camera.h"

#include "app/delay.h"
#include "remote/probe.h"
#include "remote/reports.h"

#include <cstring>

static void WriteCameraRegister(RegisterBlock &block, int address, int length,
                                const uint8_t *data) {
    block[0] = static_cast<uint8_t>(address);
    std::memcpy(block + 1, data, static_cast<size_t>(length - 1));
    WriteRegister(0xB0, length, block);
    WaitMilliseconds(10);
}

// Camera registers at 0xB0FFxx:
//   0x00..0x08  sensitivity block 1 (written as 7 bytes, then 2)
//   0x1A..0x1B  sensitivity block 2
//   0x30        control: 0x01 before the set-up, 0x08 after it
//   0x33        dot format: 3 = three bytes per dot
void SetUpIrCamera() {
    static const uint8_t enable[] = {0x01};
    static const uint8_t sensitivity1[] = {0x02, 0x00, 0x00, 0x71, 0x01, 0x00, 0xC8};
    static const uint8_t sensitivity1Tail[] = {0x00, 0x36};
    static const uint8_t sensitivity2[] = {0x35, 0x03};
    static const uint8_t dotFormat[] = {0x03};
    static const uint8_t ready[] = {0x08};
    RegisterBlock block = {};

    SetIrCamera(0x04);
    WaitMilliseconds(10);
    SetIrCamera2(0x04);

    WriteCameraRegister(block, 0x30, 2, enable);
    WriteCameraRegister(block, 0x00, 8, sensitivity1);
    WriteCameraRegister(block, 0x07, 3, sensitivity1Tail);
    WriteCameraRegister(block, 0x1A, 3, sensitivity2);
    WriteCameraRegister(block, 0x33, 2, dotFormat);
    WriteCameraRegister(block, 0x30, 2, ready);

    NoteCameraModeChosen();
    SetReportMode(0x00, 0x33);
}
