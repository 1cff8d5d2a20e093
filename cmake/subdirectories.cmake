# Adds every direct child folder of the current source folder that has a
# CMakeLists.txt, so a new program or test group needs no edit of its parent.
function(add_child_directories)
	file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
		${CMAKE_CURRENT_SOURCE_DIR}/*)
	list(SORT children)
	foreach(child IN LISTS children)
		if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
			add_subdirectory(${child})
		endif()
	endforeach()
endfunction()
