# Build settings shared by every target of the project, carried by one INTERFACE target.
add_library(tavo_settings INTERFACE)
target_compile_features(tavo_settings INTERFACE cxx_std_20)
target_compile_options(tavo_settings INTERFACE -Wall -Wextra -Wpedantic)
if(TAVO_WERROR)
    target_compile_options(tavo_settings INTERFACE -Werror)
endif()
target_compile_definitions(tavo_settings INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_CONTEXTLESS_CONNECT
    QT_DISABLE_DEPRECATED_UP_TO=0x060400)
target_include_directories(tavo_settings INTERFACE ${PROJECT_SOURCE_DIR}/src)

if(TAVO_SANITIZE)
    target_compile_options(tavo_settings INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(tavo_settings INTERFACE -fsanitize=address,undefined)
endif()

# The names the desktop knows the program and the virtual unit panel by: their desktop
# entries, icons and metainfo carry them.
set(TAVO_DESKTOP_ID invalid.ostrel.TolvaneDown)
set(TAVO_PANEL_DESKTOP_ID invalid.ostrel.TavoUnitPanel)
