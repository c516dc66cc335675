// The program's fixed texts, byte for byte, as every suite expects them:
// the banner and usage on the console, and on Linux the advice that follows
// "Wii-Remote not found." on stderr.
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

inline constexpr const char expectedNoRemoteAdvice[] =
    "lumadrifter: connect the remote (press 1 and 2) and start again. A node above that is closed "
    "to you needs the udev rule 70-lumadrifter.rules (see README) and the remote reconnected; a "
    "remote in use is free once its process ends.\n";
