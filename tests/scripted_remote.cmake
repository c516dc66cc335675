# The scripted remote behind the HID library's four calls (scripted_hid.h),
# defined once for the Linux tests and the Windows build's Wine suite alike:
# it plays the virtual remote's language through its protocol library.
find_package(Threads REQUIRED)
add_library(scripted_remote OBJECT ${CMAKE_CURRENT_LIST_DIR}/scripted_hid.cpp)
set_target_properties(scripted_remote PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_include_directories(scripted_remote PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(scripted_remote PUBLIC virtual_remote_protocol Threads::Threads)
