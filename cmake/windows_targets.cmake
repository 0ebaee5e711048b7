# What `make windows` builds beyond the module, the host library and the
# plug-ins; filled in below.
