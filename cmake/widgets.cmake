# List, combo, tab, slider, calendar, multi-line area and image button faces
# need those control classes: their script test runs once they are in the tree.
set(WIDGET_CLASS_SOURCES listbox.cpp combobox.cpp trackbar.cpp tabcontrol.cpp calendar.cpp edit_buffer.cpp imagelist.cpp)
set(WIDGET_CLASSES_PRESENT TRUE)
foreach(source ${WIDGET_CLASS_SOURCES})
  if(NOT EXISTS ${CMAKE_SOURCE_DIR}/platform/controls/${source})
    set(WIDGET_CLASSES_PRESENT FALSE)
  endif()
endforeach()
if(TEST zun.gui_widgets_lists AND NOT WIDGET_CLASSES_PRESENT)
  set_tests_properties(zun.gui_widgets_lists PROPERTIES DISABLED TRUE)
endif()
