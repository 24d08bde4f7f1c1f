// Preprocessed with one layer's include directories: whether that layer can
// reach a header must be what the layering says.
#if __has_include(VASKOR_PROBE_HEADER) != VASKOR_PROBE_REACHABLE
#error "the header's reachability breaks the layering"
#endif
