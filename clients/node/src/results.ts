// Turning each command's result object into the client's typed value. Dates become Date
// objects; every other field keeps its wire name and value. A result of the wrong shape
// raises ProtocolFault.
import { ProtocolFault } from "./errors.js";
import type {
  ContactItem,
  EventItem,
  PermissionState,
  Permissions,
  QueryResult,
  ReminderItem,
  SourceList,
} from "./types.js";
import { isObject } from "./wire.js";
import { isOneOf, permissionStates } from "./wire-names.js";

type Fields = Record<string, unknown>;

function fault(what: string): never {
  throw new ProtocolFault(`a result without ${what}`);
}

function state(value: unknown, what: string): PermissionState {
  if (isOneOf<PermissionState>(permissionStates, value)) return value;
  if (typeof value !== "string") return fault(what);
  throw new ProtocolFault(`a result with the unknown ${what} ${JSON.stringify(value)}`);
}

function list(value: unknown, what: string): Fields[] {
  return Array.isArray(value) && value.every(isObject) ? value : fault(what);
}

function flag(value: unknown, what: string): boolean {
  return typeof value === "boolean" ? value : fault(what);
}

function date(value: unknown, what: string): Date {
  const parsed = typeof value === "string" ? new Date(value) : undefined;
  return parsed !== undefined && !Number.isNaN(parsed.getTime()) ? parsed : fault(what);
}

export function decodeStatus(result: Fields): Permissions {
  const permissions = isObject(result.permissions) ? result.permissions : fault("permissions");
  return {
    events: state(permissions.events, "events permission"),
    reminders: state(permissions.reminders, "reminders permission"),
    contacts: state(permissions.contacts, "contacts permission"),
  };
}

export function decodePermission(result: Fields): PermissionState {
  return state(result.permission, "permission");
}

export function decodeSources(result: Fields): SourceList {
  return {
    ...result,
    permission: state(result.permission, "permission"),
    sources: list(result.sources, "sources") as unknown as SourceList["sources"],
    truncated: flag(result.truncated, "truncated"),
  };
}

function decodeItems<Item>(result: Fields, item: (fields: Fields) => Item): QueryResult<Item> {
  return {
    ...result,
    items: list(result.items, "items").map(item),
    truncated: flag(result.truncated, "truncated"),
  };
}

export function decodeEvents(result: Fields): QueryResult<EventItem> {
  return decodeItems(result, (fields) => ({
    ...(fields as unknown as EventItem),
    start: date(fields.start, "an event start"),
    end: date(fields.end, "an event end"),
  }));
}

export function decodeReminders(result: Fields): QueryResult<ReminderItem> {
  return decodeItems(result, (fields) => ({
    ...(fields as unknown as ReminderItem),
    due: date(fields.due, "a reminder due date"),
  }));
}

export function decodeContacts(result: Fields): QueryResult<ContactItem> {
  return decodeItems(result, (fields) => fields as unknown as ContactItem);
}
