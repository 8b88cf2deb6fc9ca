# The fuzz targets, by the name of their source file; each has its seed corpus in corpus/<name>/.
set(quorvane_fuzz_targets
  serial_imei
  serial_licence
  serial_continuation
  tcp_9527
  tcp_3762
  usb_reply
  usb_open_params
  usb_position
  record_line)
