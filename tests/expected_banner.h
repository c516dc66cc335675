// The banner and usage text, byte for byte, as every suite expects it on
// the console.
#pragma once

inline constexpr const char expectedBanner[] = "###########################################\n"
                                               "#                                         #\n"
                                               "#   Lumadrifter Test version 0.2          #\n"
                                               "#                  build 2007.2.17        #\n"
                                               "#                                         #\n"
                                               "###########################################\n"
                                               "\n"
                                               "Usage:\n"
                                               "   up/down/left/right button  ... Move cursor\n"
                                               "   B button  ... Left click\n"
                                               "   A button  ... Right click\n"
                                               "   (1) button  ... Wheel up\n"
                                               "   (2) button  ... Wheel down\n"
                                               "   (+) button  ... Wheel down\n"
                                               "   (-) button  ... Wheel up\n"
                                               "   Home button  ... Quit\n"
                                               "\n";
