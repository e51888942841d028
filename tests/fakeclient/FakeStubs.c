/* Entry points of the fake client library that only have to exist: the binding resolves them
   but the program never calls them. Each records its name and answers 0. The transaction,
   statement and blob calls the program makes are scripted in FakeSql.cpp. */

void fake_client_record_stub(const char* function);

#define FAKE_STUB(name)                                                                                        \
    long name(void);                                                                                           \
    long name(void)                                                                                            \
    {                                                                                                          \
        fake_client_record_stub(#name);                                                                        \
        return 0;                                                                                              \
    }

FAKE_STUB(BLOB_get)
FAKE_STUB(BLOB_put)
FAKE_STUB(isc_sql_interprete)
FAKE_STUB(isc_array_gen_sdl)
FAKE_STUB(isc_array_get_slice)
FAKE_STUB(isc_array_lookup_bounds)
FAKE_STUB(isc_array_lookup_desc)
FAKE_STUB(isc_array_set_desc)
FAKE_STUB(isc_array_put_slice)
FAKE_STUB(isc_blob_default_desc)
FAKE_STUB(isc_blob_gen_bpb)
FAKE_STUB(isc_blob_lookup_desc)
FAKE_STUB(isc_blob_set_desc)
FAKE_STUB(isc_decode_date)
FAKE_STUB(isc_encode_date)
FAKE_STUB(isc_dsql_execute)
FAKE_STUB(isc_dsql_set_cursor_name)
FAKE_STUB(isc_dsql_execute_immediate)
FAKE_STUB(isc_drop_database)
FAKE_STUB(isc_cancel_events)
#ifndef FAKE_CLIENT_MISSING_CORE
FAKE_STUB(isc_que_events)
#endif
FAKE_STUB(isc_event_counts)
FAKE_STUB(isc_event_block)
FAKE_STUB(isc_free)
FAKE_STUB(isc_add_user)
FAKE_STUB(isc_delete_user)
FAKE_STUB(isc_modify_user)
FAKE_STUB(isc_prepare_transaction)
FAKE_STUB(isc_prepare_transaction2)
FAKE_STUB(isc_transaction_info)

#ifndef FAKE_CLIENT_NO_ROLLBACK_RETAINING
FAKE_STUB(isc_rollback_retaining)
FAKE_STUB(isc_decode_sql_date)
FAKE_STUB(isc_decode_sql_time)
FAKE_STUB(isc_decode_timestamp)
FAKE_STUB(isc_encode_sql_date)
FAKE_STUB(isc_encode_sql_time)
FAKE_STUB(isc_encode_timestamp)
#endif

#ifdef FAKE_CLIENT_VERSION70_GROUP
FAKE_STUB(isc_array_gen_sdl2)
FAKE_STUB(isc_array_get_slice2)
FAKE_STUB(isc_array_lookup_bounds2)
FAKE_STUB(isc_array_lookup_desc2)
FAKE_STUB(isc_array_set_desc2)
FAKE_STUB(isc_array_put_slice2)
FAKE_STUB(isc_blob_default_desc2)
FAKE_STUB(isc_blob_gen_bpb2)
FAKE_STUB(isc_blob_lookup_desc2)
FAKE_STUB(isc_blob_set_desc2)
#endif
