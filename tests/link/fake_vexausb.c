/* A library named like the USB library that exports neither open_dev nor open_file. */
int vexausb_unrelated_export(void);
int vexausb_unrelated_export(void)
{
    return 0;
}
