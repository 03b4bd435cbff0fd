// placeholder: replaced by the module entry
extern "C" void init_load_init() {}
