// Built as a library under SDL2's file name that holds none of its functions:
// notepack must find it unusable and show its window as a stream.
extern "C" int not_a_window_function() {
  return 0;
}
