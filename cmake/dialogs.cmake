# The standard dialogs, built from the window layer's controls.
file(GLOB ZUN_DIALOG_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/platform/dialogs/*.cpp)
target_sources(zunrt PRIVATE ${ZUN_DIALOG_SOURCES})
