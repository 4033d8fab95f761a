# Writes the Flash control's IDL with its dispatch view filled in: the dispinterface that the
# control's IDispatch describes is generated from the members of IvdFlashPlayer, so the member
# list has one source. Run as: cmake -DIN=<idl> -DOUT=<idl> -P vd_dispatch_view.cmake
#   [propget, id(N)] HRESULT Name([out, retval] T* p);   ->  [propget, id(N)] T Name();
#   [propput, id(N)] HRESULT Name([in] T p);             ->  [propput, id(N)] void Name([in] T p);
#   [id(N)] HRESULT Name(args, [out, retval] T* p);      ->  [id(N)] T Name(args);
#   [id(N)] HRESULT Name(args);                          ->  [id(N)] void Name(args);
file(STRINGS "${IN}" lines)
set(out "")
set(members "")
set(in_interface FALSE)
foreach(line IN LISTS lines)
    if(line MATCHES "^interface IvdFlashPlayer : IDispatch")
        set(in_interface TRUE)
    elseif(in_interface AND line MATCHES "^};")
        set(in_interface FALSE)
    elseif(in_interface AND line MATCHES "^ *\\[([^]]*)\\] HRESULT ([A-Za-z0-9_]+)\\((.*)\\);$")
        set(attrs "${CMAKE_MATCH_1}")
        set(name "${CMAKE_MATCH_2}")
        set(params "${CMAKE_MATCH_3}")
        set(ret "void")
        if(params MATCHES "^(.*)\\[out, retval\\] ([A-Za-z_ ]+)\\* *[A-Za-z_]+$")
            set(params "${CMAKE_MATCH_1}")
            set(ret "${CMAKE_MATCH_2}")
            string(REGEX REPLACE ", *$" "" params "${params}")
        endif()
        string(APPEND members "        [${attrs}] ${ret} ${name}(${params});\n")
    endif()
endforeach()
if(members STREQUAL "")
    message(FATAL_ERROR "vd_dispatch_view.cmake: no members of IvdFlashPlayer found in ${IN}")
endif()
file(READ "${IN}" text)
string(REPLACE "        // @CONTROL_MEMBERS@\n" "${members}" text "${text}")
file(WRITE "${OUT}.tmp" "${text}")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
