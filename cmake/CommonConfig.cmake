# One interface target carries the language level, the warnings and Qt's
# strictness for every target of the project.
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)

add_library(vaskor_options INTERFACE)
target_compile_features(vaskor_options INTERFACE cxx_std_20)
target_compile_options(vaskor_options INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast)
target_compile_definitions(vaskor_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_NARROWING_CONVERSIONS_IN_CONNECT)
if(VASKOR_WERROR)
  target_compile_options(vaskor_options INTERFACE -Werror)
endif()
if(VASKOR_SANITIZE)
  target_compile_options(vaskor_options INTERFACE
    -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  target_link_options(vaskor_options INTERFACE -fsanitize=address,undefined)
endif()
