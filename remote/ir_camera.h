#pragma once

// Switches the IR camera on, sets its sensitivity and dot format, and selects
// the reporting mode that carries the dots. Takes at least 70 ms.
void SetUpIrCamera();
